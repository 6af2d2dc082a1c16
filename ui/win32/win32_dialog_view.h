// The dialog's logic seen through the native dialog: controls by id through the dialog
// manager, message boxes and the common open-file dialog, and the job's calls handed to the
// dialog's thread through a private window message and a queue.
#pragma once

#include "ui/logic/dialog_call_queue.h"
#include "ui/logic/dialog_view.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

namespace orvane {

// The message that tells the dialog procedure to run the queued calls (runQueued).
inline constexpr UINT WM_RUN_DIALOG_CALLS = WM_APP + 1;

class Win32DialogView final : public DialogView {
  public:
    // Lives on the dialog's thread; appName captions the message boxes.
    explicit Win32DialogView(std::wstring appName);
    ~Win32DialogView() override;

    Win32DialogView(const Win32DialogView&) = delete;
    Win32DialogView& operator=(const Win32DialogView&) = delete;

    // The dialog window, once it exists; calls queued before then wait for it.
    void attach(HWND dialog);
    // Runs every queued call; the dialog procedure's answer to WM_RUN_DIALOG_CALLS.
    void runQueued();

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
    bool wake();

    const std::wstring appName_;
    std::atomic<HWND> dialog_ = nullptr;
    DialogCallQueue queue_;
};

} // namespace orvane
