// What the dialog's logic needs from its window, and nothing of a toolkit: the Qt window on
// Linux and the native window on Windows each implement it. Texts are UTF-8; controls are
// addressed by their ids in ui/dialog_template.h.
//
// Threads: runOnDialogThread and post may be called from any thread; everything else only on
// the dialog's thread.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// One entry of an open-file dialog's type list, "*.bin" showing files matching "*.bin".
// What a yes/no question answers when the user just presses Enter.
enum class DefaultAnswer { Yes, No };

struct FileFilter {
    std::string label;
    std::string pattern; // "*" for every file
};

// An open-file dialog as a handler sets it up.
struct FileChoice {
    std::string defaultSuffix; // appended to a typed name without one
    std::vector<FileFilter> filters;
};

class DialogView {
  public:
    virtual ~DialogView() = default;

    // A control's text as the user sees it (a combo box's edit field, an edit's text).
    virtual std::string controlText(int id) = 0;
    // Sets a control's text; an id without a control does nothing.
    virtual void setControlText(int id, const std::string& text) = 0;
    virtual bool controlEnabled(int id) = 0;
    virtual void enableControl(int id, bool enabled) = 0;

    // A message box with an OK button only; returns when it is dismissed.
    virtual void showMessage(const std::string& text) = 0;
    // A yes/no question; answers true for yes. Enter (or a stray key) gives preset.
    virtual bool askYesNo(const std::string& text, DefaultAnswer preset) = 0;
    // The full path the user picked, or nullopt when the file dialog was cancelled.
    virtual std::optional<std::string> chooseFile(const FileChoice& choice) = 0;

    // Runs task on the dialog's thread and returns once it has run there whole: at once when
    // called on it, otherwise when the dialog thread's message loop takes it (a sent message).
    // Answers false, with the task not run, once the calls are shut down.
    virtual bool runOnDialogThread(std::function<void()> task) = 0;
    // Queues task for the dialog's thread and returns at once (a posted message); dropped
    // when the window goes first.
    virtual void post(std::function<void()> task) = 0;
    // From now on runOnDialogThread runs nothing: waiting callers and later ones get false.
    // Dialog thread only; the logic does it while it ends a job on destruction.
    virtual void shutDownDialogThreadCalls() = 0;
    // Keeps the dialog thread's message loop running, the window disabled, until done()
    // answers true; a job ending may still need the dialog thread meanwhile.
    virtual void waitWithMessages(const std::function<bool()>& done) = 0;
};

} // namespace orvane
