// The dialog's logic seen through the Qt window: controls by id, the prompts, and the dialog
// thread bridge for the job's calls.
#pragma once

#include "ui/logic/dialog_view.h"

class QDialog;

namespace orvane {

class DialogPrompts;
class DialogThreadBridge;

class QtDialogView final : public DialogView {
  public:
    // All three must outlive the view.
    QtDialogView(QDialog& dialog, DialogPrompts& prompts, DialogThreadBridge& bridge);

    std::string controlText(int id) override;
    void setControlText(int id, const std::string& text) override;
    bool controlEnabled(int id) override;
    void enableControl(int id, bool enabled) override;
    void showMessage(const std::string& text) override;
    bool askYesNo(const std::string& text) override;
    std::optional<std::string> chooseFile(const FileChoice& choice) override;
    bool runOnDialogThread(std::function<void()> task) override;
    void post(std::function<void()> task) override;
    void shutDownDialogThreadCalls() override;
    void waitWithMessages(const std::function<bool()>& done) override;

  private:
    QDialog& dialog_;
    DialogPrompts& prompts_;
    DialogThreadBridge& bridge_;
};

} // namespace orvane
