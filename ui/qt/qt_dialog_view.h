// The dialog's logic seen through the Qt window: controls by id, the prompts, and the job's
// calls handed to the dialog's thread through a call queue woken by an eventfd.
#pragma once

#include "ui/logic/dialog_call_queue.h"
#include "ui/logic/dialog_view.h"
#include "ui/qt/event_fd_wake.h"

class QDialog;

namespace orvane {

class DialogPrompts;

class QtDialogView final : public DialogView {
  public:
    // Lives on the dialog's thread; dialog and prompts must outlive the view.
    QtDialogView(QDialog& dialog, DialogPrompts& prompts);

    std::string controlText(int id) override;
    void setControlText(int id, const std::string& text) override;
    bool controlEnabled(int id) override;
    void enableControl(int id, bool enabled) override;
    void showMessage(const std::string& text) override;
    bool askYesNo(const std::string& text, DefaultAnswer preset) override;
    std::optional<std::string> chooseFile(const FileChoice& choice) override;
    bool runOnDialogThread(std::function<void()> task) override;
    void post(std::function<void()> task) override;
    void shutDownDialogThreadCalls() override;
    void waitWithMessages(const std::function<bool()>& done) override;

  private:
    QDialog& dialog_;
    DialogPrompts& prompts_;
    EventFdWake wake_;      // made before the queue that rings it
    DialogCallQueue queue_; // shut down first as the view goes
};

} // namespace orvane
