// The main dialog: construction from the template, initialisation, the port list, the
// message map, the about item and the keys and calls that end the dialog.
#include "ui/qt/upgrade_dlg.h"

#include "text/string_table.h"
#include "ui/dialog_template.h"
#include "ui/logic/context_menu.h"
#include "ui/logic/dialog_lists.h"
#include "ui/logic/port_box.h"
#include "ui/qt/about_dlg.h"
#include "ui/qt/app_icon.h"
#include "ui/qt/control_builder.h"
#include "ui/qt/dialog_item.h"
#include "ui/qt/dialog_units.h"
#include "ui/qt/port_list_model.h"
#include "ui/qt/port_list_watcher.h"
#include "ui/qt/qt_dialog_view.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <array>
#include <string>
#include <vector>

namespace orvane {
namespace {

QString qtText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString textFor(int id) {
    return qtText(loadText(id));
}

template <std::size_t N> void fillList(QComboBox* combo, const ListFill<N>& fill) {
    for (std::size_t i = 0; i < N; ++i) {
        combo->insertItem(static_cast<int>(i), qtText(fill.entries[i]));
    }
    combo->setCurrentIndex(fill.selected);
}

} // namespace

CUpgradeDlg::CUpgradeDlg(const DialogServices& services, QWidget* parent)
    : QDialog(parent), services_(services), m_hIcon(appIcon()) {
    setFont(dialogFont());
    // A caption with the system menu and the close box; no minimise, maximise or help box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(qtText(upgradeDialogCaption));
    const DialogBaseUnits base = baseUnitsOf(font());
    setFixedSize(toPixelsX(upgradeDialogWidth, base), toPixelsY(upgradeDialogHeight, base));
    buildControls(this, upgradeDialogControls, base);

    // Enter and Escape reach the dialog from every control (see eventFilter).
    for (const ControlTemplate& control : upgradeDialogControls) {
        QWidget* item = dlgItem(this, control.id);
        item->installEventFilter(this);
        if (auto* combo = qobject_cast<QComboBox*>(item); combo != nullptr && combo->lineEdit() != nullptr) {
            combo->lineEdit()->installEventFilter(this);
        }
        if (auto* edit = qobject_cast<QPlainTextEdit*>(item)) {
            edit->viewport()->installEventFilter(this);
        }
    }
    view_ = std::make_unique<QtDialogView>(*this, services_.prompts);
    logic_ = std::make_unique<UpgradeDlgLogic>(DialogLogicServices{services_.port, services_.flags,
                                                                   services_.clock, *view_, services_.records,
                                                                   services_.recordsRefusal});
    connectMessageMap();
}

CUpgradeDlg::~CUpgradeDlg() {
    // The logic gives the job up, shuts the view's call queue and joins the job while the
    // controls the job's last calls reach are still here.
    logic_.reset();
}

void CUpgradeDlg::setVisible(bool visible) {
    if (visible && !initialised_) {
        OnInitDialog();
    }
    QDialog::setVisible(visible);
}

void CUpgradeDlg::DoDataExchange() {
    m_upgradeBpsCombo = qobject_cast<QComboBox*>(dlgItem(this, IDC_UPBPS));
    m_addressCombo = qobject_cast<QComboBox*>(dlgItem(this, IDC_ADDRESS));
    m_portCombo = qobject_cast<QComboBox*>(dlgItem(this, IDC_PORT));
    m_bpsCombo = qobject_cast<QComboBox*>(dlgItem(this, IDC_BPS));
    setDlgItemText(this, IDC_FILE_PATH, filePath());
    setDlgItemText(this, IDC_LOG, m_logEditText);
}

bool CUpgradeDlg::OnInitDialog() {
    if (initialised_) {
        return true;
    }
    initialised_ = true;
    DoDataExchange();

    // The about item; the dialog thread's texts are English from here on, and the reply
    // receiver runs.
    logic_->OnInitDialog();
    buildContextMenu();

    setWindowIcon(m_hIcon);

    m_portCombo->setModel(new PortListModel(m_portCombo));
    fillList(m_portCombo, fallbackPorts);

    ApplyDialogTexts();

    enableDlgItem(this, IDC_OPEN, true);
    enableDlgItem(this, IDC_CLOSE, false);

    listSerialPorts();
    // The names are listed at once; descriptions and later changes come from the watcher.
    portWatcher_ = new PortListWatcher(
        PortRoots{services_.portListRoot, services_.devRoot, {}},
        [this](const std::vector<PortListEntry>& entries) { applyPortList(entries); }, this);
    portWatcher_->refresh();

    for (int address = lowestAddress; address <= highestAddress; ++address) {
        m_addressCombo->insertItem(address - lowestAddress, QString::number(address));
    }
    m_addressCombo->setCurrentIndex(addressSelected);

    fillList(m_bpsCombo, lineSpeeds);
    fillList(m_upgradeBpsCombo, upgradeSpeeds);

    // Not being able to hold Log.txt (a read-only folder, a second instance) is normal.
    m_logFile.open(services_.logFilePath);
    return true;
}

void CUpgradeDlg::ApplyDialogTexts() {
    for (const ControlLabel& label : dialogLabels) {
        setDlgItemText(this, label.control, textFor(label.text));
    }
    setWindowTitle(textFor(dialogTitleText));
}

int CUpgradeDlg::listSerialPorts() {
    std::vector<std::string> names;
    const int count = gatherPortNames(names, services_.portListRoot);
    if (count < 0) {
        return -1;
    }
    std::vector<PortListEntry> listed;
    for (std::string& name : names) {
        listed.push_back({std::move(name), {}});
    }
    showPortBox(listedPortBox(std::move(listed)));
    return count;
}

void CUpgradeDlg::applyPortList(const std::vector<PortListEntry>& entries) {
    std::vector<PortListEntry> shown;
    for (int i = 0; i < m_portCombo->count(); ++i) {
        shown.push_back({m_portCombo->itemText(i).toStdString(),
                         m_portCombo->itemData(i, PortListModel::descriptionRole).toString().toStdString()});
    }
    if (const auto box = gatheredPortBox(shown, m_portCombo->currentText().toStdString(), entries)) {
        showPortBox(*box);
    }
}

void CUpgradeDlg::showPortBox(const PortBox& box) {
    m_portCombo->clear();
    for (std::size_t i = 0; i < box.entries.size(); ++i) {
        const int row = static_cast<int>(i);
        m_portCombo->insertItem(row, qtText(box.entries[i].name));
        m_portCombo->setItemData(row, qtText(box.entries[i].description), PortListModel::descriptionRole);
    }
    m_portCombo->setCurrentIndex(box.selected);
    if (box.selected < 0) {
        m_portCombo->setEditText(qtText(box.text));
    }
    // The list may be wider than the box: names with descriptions.
    QAbstractItemView* list = m_portCombo->view();
    list->setMinimumWidth(list->sizeHintForColumn(0) + list->verticalScrollBar()->sizeHint().width());
}

void CUpgradeDlg::buildContextMenu() {
    contextMenu_ = new QMenu(this);
    for (const MenuEntry& entry : contextMenuEntries(logic_->lowLatencyReplies(), loadText)) {
        if (entry.kind == MenuEntry::Kind::Separator) {
            contextMenu_->addSeparator();
            continue;
        }
        QAction* action = contextMenu_->addAction(qtText(entry.text));
        action->setData(entry.command);
        action->setCheckable(entry.kind == MenuEntry::Kind::Check);
        action->setChecked(entry.checked);
        connect(action, &QAction::triggered, this,
                [this, id = entry.command](bool checked) { OnMenuCommand(id, checked); });
    }
}

void CUpgradeDlg::OnMenuCommand(int id, bool checked) {
    if (id == ID_LOW_LATENCY) {
        logic_->setLowLatencyReplies(checked);
    } else if (id == IDM_ABOUTBOX) {
        OnSysCommand(id);
    } else {
        OnCommand(id);
    }
}

void CUpgradeDlg::connectMessageMap() {
    for (const ControlTemplate& control : upgradeDialogControls) {
        if (auto* button = qobject_cast<QAbstractButton*>(dlgItem(this, control.id))) {
            connect(button, &QAbstractButton::clicked, this, [this, id = control.id] { OnCommand(id); });
        }
    }
}

void CUpgradeDlg::OnCommand(int id) {
    if (id == IDOK) {
        OnOK();
        return;
    }
    logic_->OnCommand(id);
}

void CUpgradeDlg::OnSysCommand(int id) {
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about(this);
        about.exec();
    }
}

void CUpgradeDlg::OnOK() {
    done(QDialog::Accepted);
}

void CUpgradeDlg::OnCancel() {
    done(QDialog::Rejected);
}

void CUpgradeDlg::done(int result) {
    if (!logic_->mayEndDialog()) {
        return;
    }
    QDialog::done(result);
}

void CUpgradeDlg::keyPressEvent(QKeyEvent* event) {
    const bool plain = event->modifiers() == Qt::NoModifier ||
                       (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        OnOK();
        return;
    }
    if (plain && event->key() == Qt::Key_Escape) {
        OnCancel();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool CUpgradeDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return QDialog::eventFilter(watched, event);
    }
    auto* key = static_cast<QKeyEvent*>(event);
    const bool plain = key->modifiers() == Qt::NoModifier ||
                       (key->modifiers() == Qt::KeypadModifier && key->key() == Qt::Key_Enter);
    if (!plain) {
        return false;
    }
    // A focused push button takes Enter itself: it is clicked.
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
        qobject_cast<QAbstractButton*>(watched) == nullptr) {
        OnOK();
        return true;
    }
    if (key->key() == Qt::Key_Escape) {
        OnCancel();
        return true;
    }
    return false;
}

void CUpgradeDlg::contextMenuEvent(QContextMenuEvent* event) {
    if (contextMenu_ != nullptr) {
        contextMenu_->exec(event->globalPos());
    }
}

} // namespace orvane
