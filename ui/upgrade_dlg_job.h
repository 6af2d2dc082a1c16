// How an upgrade job reaches the dialog: it reads the controls and sets the log through the
// dialog thread bridge, each call applied whole on the dialog's thread.
#pragma once

#include <string>

#include "ui/dialog_item.h"
#include "ui/dialog_template.h"
#include "ui/dialog_thread_bridge.h"
#include "ui/upgrade_dlg.h"

namespace orvane {

// Reads the user's choices when the job asks for them, as the job's steps do.
class CUpgradeDlg::JobInputs final : public UpgradeInputs {
public:
    explicit JobInputs(CUpgradeDlg& dialog) : dialog_(dialog) {}

    std::string imagePath() override {
        std::string path;
        dialog_.bridge_->call([&] { path = dialog_.m_filePath.toStdString(); });
        return path;
    }
    std::string portName() override {
        std::string name;
        dialog_.bridge_->call([&] {
            dialog_.m_portName = dlgItemText(&dialog_, IDC_PORT);
            name = dialog_.m_portName.toStdString();
        });
        return name;
    }
    int lineSpeed() override { return valueOf(IDC_BPS); }
    int address() override { return valueOf(IDC_ADDRESS); }
    int upgradeSpeed() override { return valueOf(IDC_UPBPS); }

private:
    int valueOf(int id) {
        int value = 0;
        dialog_.bridge_->call([&] { value = dlgItemInt(&dialog_, id); });
        return value;
    }

    CUpgradeDlg& dialog_;
};

// m_logText and the log box, changed only on the dialog's thread.
class CUpgradeDlg::JobLog final : public UpgradeLog {
public:
    explicit JobLog(CUpgradeDlg& dialog) : dialog_(dialog) {}

    void replaceLog(const std::string& text) override {
        dialog_.bridge_->call([&] {
            dialog_.m_logText = QString::fromStdString(text);
            dialog_.showLog(dialog_.m_logText);
        });
    }
    void appendLog(const std::string& text) override {
        dialog_.bridge_->call([&] {
            dialog_.m_logText += QString::fromStdString(text);
            dialog_.showLog(dialog_.m_logText);
        });
    }
    std::string showWithLog(const std::string& tail) override {
        std::string shown;
        dialog_.bridge_->call([&] {
            const QString text = dialog_.m_logText + QString::fromStdString(tail);
            dialog_.showLog(text);
            shown = text.toStdString();
        });
        return shown;
    }
    // The technician sees it in the log box, below "Start".
    void advice(const std::string& text) override { appendLog(text + "\r\n"); }

private:
    CUpgradeDlg& dialog_;
};

} // namespace orvane
