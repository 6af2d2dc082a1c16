// Test rig for the dialog suites.
#include "dialog_rig.h"

#include "ui/qt/dialog_item.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <poll.h>
#include <unistd.h>

namespace orvane::test {

void ScriptedPrompts::showMessage(QWidget* /*owner*/, const QString& text) {
    messages.append(text);
}

bool ScriptedPrompts::askYesNo(QWidget* /*owner*/, const QString& text, DefaultAnswer preset) {
    questions.append(text);
    questionDefaults.push_back(preset);
    return yesNoAnswer;
}

std::optional<QString> ScriptedPrompts::openFile(QWidget* /*owner*/, const OpenFileSetup& setup) {
    fileDialogs.push_back(setup);
    if (fileAnswers.empty()) {
        return std::nullopt;
    }
    // Copied out as a plain QString: g++ -O2 misreads a moved std::optional<QString> as
    // possibly uninitialised.
    const bool confirmed = fileAnswers.front().has_value();
    const QString path = confirmed ? *fileAnswers.front() : QString();
    fileAnswers.pop_front();
    if (!confirmed) {
        return std::nullopt;
    }
    return path;
}

ScopedWorkingDir::ScopedWorkingDir() : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir_.path().toStdString());
}

ScopedWorkingDir::~ScopedWorkingDir() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
}

DialogRig::DialogRig(std::filesystem::path portListRoot) {
    dialog_ = std::make_unique<CUpgradeDlg>(
        DialogServices{port, flags, clock, prompts, std::move(portListRoot), QStringLiteral("Log.txt")});
    dialog_->show();
}

DialogRig::~DialogRig() {
    dialog_.reset();
}

QAbstractButton* DialogRig::button(int id) const {
    return qobject_cast<QAbstractButton*>(dlgItem(dialog_.get(), id));
}

QComboBox* DialogRig::combo(int id) const {
    return qobject_cast<QComboBox*>(dlgItem(dialog_.get(), id));
}

void DialogRig::click(int id) const {
    button(id)->click();
}

void DialogRig::setPortText(const QString& text) const {
    combo(1000)->setEditText(text);
}

LineEnd::LineEnd() {
    std::string error;
    pty_.open(9600, error);
}

std::vector<std::uint8_t> LineEnd::read(std::size_t count, std::chrono::milliseconds timeout) const {
    std::vector<std::uint8_t> bytes;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (bytes.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd watch{pty_.masterFd(), POLLIN, 0};
        if (::poll(&watch, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        std::uint8_t buffer[256];
        const auto got = ::read(pty_.masterFd(), buffer, std::min(sizeof buffer, count - bytes.size()));
        if (got <= 0) {
            break;
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
}

QByteArray readWholeFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

bool writeWholeFileForTest(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace orvane::test
