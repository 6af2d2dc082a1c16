// Control access by id over the widgets the template builder made.
#include "ui/qt/dialog_item.h"

#include "ui/logic/control_value.h"
#include "ui/qt/log_box.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

namespace orvane {

QWidget* dlgItem(const QWidget* dialog, int id) {
    const auto children = dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        const QVariant value = child->property(controlIdProperty);
        if (value.isValid() && value.toInt() == id) {
            return child;
        }
    }
    return nullptr;
}

void setDlgItemText(const QWidget* dialog, int id, const QString& text) {
    QWidget* item = dlgItem(dialog, id);
    if (auto* log = qobject_cast<LogBox*>(item)) {
        log->setWindowText(text);
    } else if (auto* label = qobject_cast<QLabel*>(item)) {
        label->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(item)) {
        button->setText(text);
    } else if (auto* edit = qobject_cast<QLineEdit*>(item)) {
        edit->setText(text);
    } else if (auto* combo = qobject_cast<QComboBox*>(item)) {
        combo->setEditText(text);
    }
}

QString dlgItemText(const QWidget* dialog, int id) {
    QWidget* item = dlgItem(dialog, id);
    if (auto* log = qobject_cast<LogBox*>(item)) {
        return log->windowText();
    }
    if (auto* label = qobject_cast<QLabel*>(item)) {
        return label->text();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(item)) {
        return button->text();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(item)) {
        return edit->text();
    }
    if (auto* combo = qobject_cast<QComboBox*>(item)) {
        return combo->currentText();
    }
    return {};
}

int dlgItemInt(const QWidget* dialog, int id) {
    return signedValueOf(dlgItemText(dialog, id));
}

int signedValueOf(const QString& text) {
    return controlValueOf(text.toStdString());
}

void enableDlgItem(const QWidget* dialog, int id, bool enabled) {
    if (QWidget* item = dlgItem(dialog, id)) {
        item->setEnabled(enabled);
    }
}

} // namespace orvane
