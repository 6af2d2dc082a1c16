// What the dialog tests share: scripted answers for message boxes and file dialogs, a
// dialog over the real serial port in a folder of its own, and a pseudo-terminal to play
// the far end of the line.
#pragma once

#include "serial/serial_port.h"
#include "sim/pseudo_terminal.h"
#include "ui/qt/dialog_prompts.h"
#include "ui/qt/upgrade_dlg.h"
#include "upgrade/clock.h"
#include "upgrade/reply_flags.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

class QAbstractButton;
class QComboBox;

namespace orvane::test {

// Answers the dialog's questions from a script and records what it was asked.
class ScriptedPrompts final : public DialogPrompts {
  public:
    void showMessage(QWidget* owner, const QString& text) override;
    bool askYesNo(QWidget* owner, const QString& text, DefaultAnswer preset) override;
    std::optional<QString> openFile(QWidget* owner, const OpenFileSetup& setup) override;

    std::deque<std::optional<QString>> fileAnswers; // nullopt: the user cancels
    bool yesNoAnswer = false;
    QStringList messages;
    QStringList questions;
    std::vector<DefaultAnswer> questionDefaults;
    std::vector<OpenFileSetup> fileDialogs;
};

// Works in a fresh current directory for the test's lifetime.
class ScopedWorkingDir {
  public:
    ScopedWorkingDir();
    ~ScopedWorkingDir();
    ScopedWorkingDir(const ScopedWorkingDir&) = delete;
    ScopedWorkingDir& operator=(const ScopedWorkingDir&) = delete;
    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return dir_.filePath(name); }

  private:
    QTemporaryDir dir_;
    std::filesystem::path previous_;
};

// A dialog on the process's kind of serial port, initialised as on start-up.
class DialogRig {
  public:
    // portListRoot: where the port list is read; by default a folder that does not exist,
    // so the list keeps COM1 and COM2.
    explicit DialogRig(std::filesystem::path portListRoot = "/nonexistent/orvane-tty");
    ~DialogRig();
    DialogRig(const DialogRig&) = delete;
    DialogRig& operator=(const DialogRig&) = delete;

    CUpgradeDlg& dialog() { return *dialog_; }
    QAbstractButton* button(int id) const;
    QComboBox* combo(int id) const;
    void click(int id) const;
    void setPortText(const QString& text) const;

    ScopedWorkingDir workingDir;
    SerialPort port;
    ReplyFlags flags;
    SystemClock clock;
    ScriptedPrompts prompts;

  private:
    std::unique_ptr<CUpgradeDlg> dialog_;
};

// The far end of a serial line: the test reads what the dialog writes.
class LineEnd {
  public:
    LineEnd();
    const std::string& path() const { return pty_.slavePath(); }
    // Reads until count bytes have come or timeout has passed.
    std::vector<std::uint8_t> read(std::size_t count, std::chrono::milliseconds timeout) const;
    bool ok() const { return pty_.isOpen(); }
    // The speed the dialog's side has set on the line.
    int hostSpeed() const { return pty_.hostSpeed(); }

  private:
    PseudoTerminal pty_;
};

QByteArray readWholeFile(const QString& path);
bool writeWholeFileForTest(const QString& path, const QByteArray& bytes);

} // namespace orvane::test
