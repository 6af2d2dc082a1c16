// The dialog application's entry: --help and --version answer on the terminal; anything else
// is the one application object running the dialog, which needs a display. Without one, Qt
// would end the program with abort(); it says so instead and ends with status 1.
#include "ui/qt/upgrade_app.h"

#include <QGuiApplication>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace {

orvane::CUpgradeApp theApp;

constexpr std::string_view helpText =
    "Usage: orvane [-h | --help] [-v | --version] [Qt options]\n"
    "\n"
    "Opens the Orvane dialog, which upgrades the firmware of a PTZ camera over a serial line,\n"
    "sends PTZ test frames, merges HEX files and packages device images. Log.txt in the current\n"
    "folder is created or emptied and held while the dialog runs.\n"
    "\n"
    "  -h, --help     print this help and end\n"
    "  -v, --version  print the version and end\n"
    "\n"
    "Qt's own options (-platform, -display, ...) are handed on to Qt. The dialog needs a desktop\n"
    "session; orvane-cli does the same work on a terminal.\n";

constexpr std::string_view noDisplayText =
    "orvane: no display to show the dialog on: DISPLAY and WAYLAND_DISPLAY are not set.\n"
    "Start it in a desktop session, or use orvane-cli on a terminal.\n";

bool named(std::string_view variable) {
    const char* value = std::getenv(variable.data());
    return value != nullptr && *value != '\0';
}

// What the program answers without opening the dialog, as its exit status.
std::optional<int> answerOnTerminal(int argc, char** argv) {
    bool platformGiven = named("DISPLAY") || named("WAYLAND_DISPLAY") || named("QT_QPA_PLATFORM");
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(helpText.data(), stdout);
            return 0;
        }
        if (arg == "-v" || arg == "--version") {
            std::printf("orvane %s\n", ORVANE_VERSION);
            return 0;
        }
        platformGiven = platformGiven || arg == "-platform" || arg == "--platform" || arg == "-display";
    }
    if (!platformGiven) {
        std::fputs(noDisplayText.data(), stderr);
        return 1;
    }
    return std::nullopt;
}

QtMessageHandler qtHandler = nullptr;

// A display named but not reachable: Qt's one fatal message before it has a platform. Once it
// has one, fatal messages take Qt's own way.
void startUpMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg && QGuiApplication::platformName().isEmpty()) {
        std::fputs("orvane: no display could be opened for the dialog: check DISPLAY or WAYLAND_DISPLAY, "
                   "or use orvane-cli on a terminal.\n",
                   stderr);
        std::fflush(stderr);
        std::_Exit(1);
    }
    qtHandler(type, context, message);
}

} // namespace

int main(int argc, char** argv) {
    if (const auto status = answerOnTerminal(argc, argv)) {
        return *status;
    }
    qtHandler = qInstallMessageHandler(startUpMessages);
    return theApp.run(argc, argv);
}
