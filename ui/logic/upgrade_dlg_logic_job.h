// How an upgrade job reaches the dialog: it reads the controls and sets the log through the
// view's runOnDialogThread, each call applied whole on the dialog's thread.
#pragma once

#include "text/string_table.h"
#include "ui/dialog_template.h"
#include "ui/logic/control_value.h"
#include "ui/logic/upgrade_dlg_logic.h"

#include <optional>
#include <string>

namespace orvane {

// Reads the user's choices when the job asks for them, as the job's steps do. A read the
// dialog no longer runs (it is ending) answers nullopt.
class UpgradeDlgLogic::JobInputs final : public UpgradeInputs {
  public:
    explicit JobInputs(UpgradeDlgLogic& dialog) : dialog_(dialog) {}

    std::optional<std::string> imagePath() override {
        std::string path;
        if (!dialog_.view_.runOnDialogThread([&] { path = dialog_.m_filePath; })) {
            return std::nullopt;
        }
        return path;
    }
    std::optional<std::string> portName() override {
        std::string name;
        if (!dialog_.view_.runOnDialogThread([&] {
                dialog_.m_portName = dialog_.view_.controlText(IDC_PORT);
                name = dialog_.m_portName;
            })) {
            return std::nullopt;
        }
        return name;
    }
    std::optional<int> lineSpeed() override { return valueOf(IDC_BPS); }
    std::optional<int> address() override { return valueOf(IDC_ADDRESS); }
    std::optional<int> upgradeSpeed() override { return valueOf(IDC_UPBPS); }
    // HEX text or an ELF file goes out only after a yes (No is the default button).
    std::optional<bool> sendUnusualImage(const std::string& reason) override {
        bool send = false;
        if (!dialog_.view_.runOnDialogThread([&] {
                const std::string_view question =
                    textOf(IDS_IMAGE_SEND_ANYWAY, languageOfFlag(dialog_.languageFlag));
                send = dialog_.view_.askYesNo(reason + "\n\n" + std::string(question), DefaultAnswer::No);
            })) {
            return std::nullopt;
        }
        return send;
    }

  private:
    std::optional<int> valueOf(int id) {
        int value = 0;
        if (!dialog_.view_.runOnDialogThread(
                [&] { value = controlValueOf(dialog_.view_.controlText(id)); })) {
            return std::nullopt;
        }
        return value;
    }

    UpgradeDlgLogic& dialog_;
};

// m_logText and the log box, changed only on the dialog's thread.
class UpgradeDlgLogic::JobLog final : public UpgradeLog {
  public:
    explicit JobLog(UpgradeDlgLogic& dialog) : dialog_(dialog) {}

    void replaceLog(const std::string& text) override {
        dialog_.view_.runOnDialogThread([&] {
            dialog_.m_logText = text;
            dialog_.showLog(dialog_.m_logText);
        });
    }
    void appendLog(const std::string& text) override {
        dialog_.view_.runOnDialogThread([&] {
            dialog_.m_logText += text;
            dialog_.showLog(dialog_.m_logText);
        });
    }
    std::string showWithLog(const std::string& tail) override {
        std::string shown;
        dialog_.view_.runOnDialogThread([&] {
            shown = dialog_.m_logText + tail;
            dialog_.showLog(shown);
        });
        return shown;
    }
    // The technician sees it in the log box, below "Start".
    void advice(const std::string& text) override { appendLog(text + "\r\n"); }

  private:
    UpgradeDlgLogic& dialog_;
};

} // namespace orvane
