// Each of the logic's requests as the Qt dialog carries it out.
#include "ui/qt/qt_dialog_view.h"

#include "ui/qt/dialog_item.h"
#include "ui/qt/dialog_prompts.h"

#include <QDialog>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>

namespace orvane {
namespace {

QString qtText(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

QtDialogView::QtDialogView(QDialog& dialog, DialogPrompts& prompts)
    : dialog_(dialog), prompts_(prompts), wake_([this] { queue_.runPending(); }),
      queue_([this] { return wake_.ring(); }) {}

std::string QtDialogView::controlText(int id) {
    return dlgItemText(&dialog_, id).toStdString();
}

void QtDialogView::setControlText(int id, const std::string& text) {
    setDlgItemText(&dialog_, id, qtText(text));
}

bool QtDialogView::controlEnabled(int id) {
    const QWidget* item = dlgItem(&dialog_, id);
    return item != nullptr && item->isEnabled();
}

void QtDialogView::enableControl(int id, bool enabled) {
    enableDlgItem(&dialog_, id, enabled);
}

void QtDialogView::showMessage(const std::string& text) {
    prompts_.showMessage(&dialog_, qtText(text));
}

bool QtDialogView::askYesNo(const std::string& text, DefaultAnswer preset) {
    return prompts_.askYesNo(&dialog_, qtText(text), preset);
}

std::optional<std::string> QtDialogView::chooseFile(const FileChoice& choice) {
    QStringList filters;
    for (const FileFilter& filter : choice.filters) {
        filters.append(qtText(filter.label) + QStringLiteral(" (") + qtText(filter.pattern) +
                       QStringLiteral(")"));
    }
    const auto picked = prompts_.openFile(
        &dialog_, OpenFileSetup{qtText(choice.defaultSuffix), filters.join(QStringLiteral(";;"))});
    if (!picked) {
        return std::nullopt;
    }
    return picked->toStdString();
}

bool QtDialogView::runOnDialogThread(std::function<void()> task) {
    return queue_.call(std::move(task));
}

void QtDialogView::post(std::function<void()> task) {
    // Through the same queue as the job's waiting calls, not Qt's event queue: its lock is one
    // ThreadSanitizer sees, and the shut-down drops what is left when the dialog goes first.
    queue_.post(std::move(task));
}

void QtDialogView::shutDownDialogThreadCalls() {
    queue_.shutDown();
}

void QtDialogView::waitWithMessages(const std::function<bool()>& done) {
    dialog_.setEnabled(false);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) {
            loop.quit();
        }
    });
    poll.start(10);
    if (!done()) {
        loop.exec();
    }
    dialog_.setEnabled(true);
}

} // namespace orvane
