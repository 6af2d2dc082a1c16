// One widget per template entry. The kinds follow the template's styles: statics are left
// aligned text without prefix processing, combo boxes are editable drop-downs whose lists
// keep insertion order, edits are single-line (1003) or the read-only multi-line log.
#include "ui/qt/control_builder.h"

#include "ui/qt/dialog_item.h"
#include "ui/qt/log_box.h"
#include "ui/qt/single_line_button.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <algorithm>

namespace orvane {
namespace {

QString textOf(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QComboBox* makeCombo(QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setEditable(true);
    // The user's text is used as typed: no entry is added on Enter and nothing is completed.
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setCompleter(nullptr);
    combo->setFocusPolicy(Qt::StrongFocus);
    return combo;
}

QWidget* makeControl(const ControlTemplate& control, QWidget* parent, const QIcon& icon) {
    switch (control.kind) {
    case ControlKind::Static: {
        auto* label = new QLabel(textOf(control.text), parent);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(true);
        return label;
    }
    case ControlKind::Icon: {
        auto* label = new QLabel(parent);
        label->setPixmap(icon.pixmap(32, 32));
        return label;
    }
    case ControlKind::ComboBox:
        return makeCombo(parent);
    case ControlKind::PushButton:
    case ControlKind::DefaultPushButton: {
        auto* button = new SingleLineButton(textOf(control.text), parent);
        button->setFocusPolicy(Qt::StrongFocus);
        if (control.kind == ControlKind::DefaultPushButton) {
            button->setDefault(true);
        }
        return button;
    }
    case ControlKind::Edit: {
        auto* edit = new QLineEdit(textOf(control.text), parent);
        edit->setFocusPolicy(Qt::StrongFocus);
        return edit;
    }
    case ControlKind::LogEdit: {
        auto* log = new LogBox(parent);
        log->setFocusPolicy(Qt::StrongFocus);
        log->setWindowText(textOf(control.text));
        return log;
    }
    }
    return nullptr;
}

} // namespace

int comboFieldHeight(const QWidget* combo) {
    return combo->minimumSizeHint().height();
}

void buildControls(QWidget* dialog, std::span<const ControlTemplate> controls, DialogBaseUnits base,
                   const QIcon& icon) {
    QWidget* previousStop = nullptr;
    for (const ControlTemplate& control : controls) {
        QWidget* widget = makeControl(control, dialog, icon);
        widget->setObjectName(textOf(control.name));
        widget->setProperty(controlIdProperty, control.id);
        const QRect rect = toPixels(control.rect, base);
        if (control.kind == ControlKind::Icon) {
            widget->setGeometry(rect.x(), rect.y(), 32, 32);
        } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            const int field = comboFieldHeight(combo);
            combo->setGeometry(rect.x(), rect.y(), rect.width(), field);
            // The rest of the template height is the dropped list.
            const int itemHeight = std::max(1, combo->fontMetrics().height() + 2);
            combo->setMaxVisibleItems(std::max(1, (rect.height() - field) / itemHeight));
        } else {
            widget->setGeometry(rect);
        }
        if (widget->focusPolicy() != Qt::NoFocus) {
            if (previousStop != nullptr) {
                QWidget::setTabOrder(previousStop, widget);
            }
            previousStop = widget;
        }
    }
}

} // namespace orvane
