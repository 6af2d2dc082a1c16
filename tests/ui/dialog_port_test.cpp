// The port buttons against a pseudo-terminal, the port list, Log.txt, the about box and how
// Enter, Escape and the close box end the dialog when no upgrade runs.
#include "dialog_rig.h"
#include "ui/dialog_template.h"
#include "ui/qt/about_dlg.h"
#include "ui/qt/dialog_item.h"
#include "ui/qt/log_file.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QtTest>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvane;

namespace {

QAction* menuAction(const CUpgradeDlg& dlg, int commandId) {
    for (QAction* action : dlg.contextMenu()->actions()) {
        if (action->data().toInt() == commandId && !action->isSeparator()) {
            return action;
        }
    }
    return nullptr;
}

bool lockedByAnother(const QString& path) {
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return locked;
}

void makePort(const std::filesystem::path& root, const std::string& name) {
    std::filesystem::create_directories(root / name / "device");
}

} // namespace

class DialogPortTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void openAndCloseFollowTheLine_data() {
        QTest::addColumn<QString>("speedText");
        QTest::addColumn<int>("lineSpeed");
        QTest::newRow("default speed") << "9600" << 9600;
        QTest::newRow("typed speed") << "57600" << 57600;
        // Speed 0 is refused by the driver; the port opens at the speed it had.
        QTest::newRow("not a number") << "fast" << 9600;
    }
    void openAndCloseFollowTheLine() {
        QFETCH(QString, speedText);
        QFETCH(int, lineSpeed);
        test::LineEnd line;
        QVERIFY(line.ok());
        test::DialogRig rig;
        CUpgradeDlg& dlg = rig.dialog();
        rig.setPortText(QString::fromStdString(line.path()));
        rig.combo(IDC_BPS)->setEditText(speedText);

        rig.click(IDC_OPEN);
        QCOMPARE(rig.prompts.messages, QStringList{"Serial ports open successful !"});
        QCOMPARE(dlg.portName(), QString::fromStdString(line.path()));
        QVERIFY(rig.port.isOpen());
        QCOMPARE(line.hostSpeed(), lineSpeed);
        QVERIFY(!rig.button(IDC_OPEN)->isEnabled());
        QVERIFY(rig.button(IDC_CLOSE)->isEnabled());

        rig.click(IDC_CLOSE);
        QCOMPARE(rig.prompts.messages.size(), 2);
        QCOMPARE(rig.prompts.messages.last(), QString("Serial ports close successful !"));
        QVERIFY(!rig.port.isOpen());
        QVERIFY(rig.button(IDC_OPEN)->isEnabled());
        QVERIFY(!rig.button(IDC_CLOSE)->isEnabled());
    }

    void refusedOpenSaysWhy_data() {
        QTest::addColumn<QString>("portText");
        QTest::addColumn<bool>("holdLine"); // another program has the port
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing device") << "/dev/orvane-no-such-port" << false << "no such device";
        QTest::newRow("port in use") << "" << true << "in use";
        QTest::newRow("not a port name") << "COM0" << false << "COM0";
    }
    void refusedOpenSaysWhy() {
        QFETCH(QString, portText);
        QFETCH(bool, holdLine);
        QFETCH(QString, reason);
        test::LineEnd line;
        SerialPort otherProgram;
        if (holdLine) {
            portText = QString::fromStdString(line.path());
            QCOMPARE(otherProgram.openPort(line.path(), 9600, parityNone, 8, oneStopBit), 1);
        }
        test::DialogRig rig;
        rig.setPortText(portText);
        rig.click(IDC_OPEN);

        QCOMPARE(rig.prompts.messages.size(), 1);
        const QString message = rig.prompts.messages.front();
        QVERIFY2(message.startsWith("Serial ports open fail !\n\n"), qPrintable(message));
        QVERIFY2(message.contains(reason), qPrintable(message));
        QVERIFY(!rig.port.isOpen());
        QVERIFY(rig.button(IDC_OPEN)->isEnabled());
        QVERIFY(!rig.button(IDC_CLOSE)->isEnabled());
    }

    void portListComesFromTheSystem() {
        QTemporaryDir sysfs;
        const std::filesystem::path root = sysfs.path().toStdString();
        makePort(root, "ttyUSB10");
        makePort(root, "ttyUSB2");
        makePort(root, "ttyACM0");
        std::filesystem::create_directories(root / "tty1"); // a console: no device
        {
            test::DialogRig rig(root);
            QCOMPARE(rig.combo(IDC_PORT)->count(), 3);
            QCOMPARE(rig.combo(IDC_PORT)->itemText(0), QString("ttyACM0"));
            QCOMPARE(rig.combo(IDC_PORT)->itemText(1), QString("ttyUSB2"));
            QCOMPARE(rig.combo(IDC_PORT)->itemText(2), QString("ttyUSB10"));
            QCOMPARE(rig.combo(IDC_PORT)->currentText(), QString("ttyACM0"));
            QCOMPARE(rig.dialog().listSerialPorts(), 3);

            // An adapter plugged in appears with its description; what the user typed stays.
            rig.setPortText("/tmp/cam");
            const std::filesystem::path staged = root.parent_path() / (root.filename().string() + "-new");
            makePort(staged, "ttyUSB3");
            std::ofstream(staged / "ttyUSB3/device/idVendor") << "0403\n";
            std::ofstream(staged / "ttyUSB3/device/product") << "FT232R USB UART\n";
            std::filesystem::rename(staged / "ttyUSB3", root / "ttyUSB3");
            std::filesystem::remove(staged);
            QComboBox* ports = rig.combo(IDC_PORT);
            QTRY_COMPARE_WITH_TIMEOUT(ports->count(), 4, 5000);
            QCOMPARE(ports->itemText(2), QString("ttyUSB3"));
            QCOMPARE(ports->itemData(2, Qt::DisplayRole).toString(),
                     QString("ttyUSB3 \u2014 FT232R USB UART"));
            QCOMPARE(ports->currentText(), QString("/tmp/cam"));
            ports->setCurrentIndex(2);
            QCOMPARE(dlgItemText(&rig.dialog(), IDC_PORT), QString("ttyUSB3")); // the name is what is used
        }
        QTemporaryDir emptySysfs;
        test::DialogRig empty(emptySysfs.path().toStdString());
        QCOMPARE(empty.combo(IDC_PORT)->count(), 0);
        QCOMPARE(empty.combo(IDC_PORT)->currentIndex(), -1);
        QCOMPARE(empty.combo(IDC_PORT)->currentText(), QString());
        QCOMPARE(empty.dialog().listSerialPorts(), 0);

        test::DialogRig unreadable("/nonexistent/orvane-tty");
        QCOMPARE(unreadable.dialog().listSerialPorts(), -1);
        QCOMPARE(unreadable.combo(IDC_PORT)->count(), 2);
        QCOMPARE(unreadable.combo(IDC_PORT)->currentText(), QString("COM1"));
    }

    void logFileIsCutAndHeld() {
        test::ScopedWorkingDir dir;
        const QString logPath = dir.file("Log.txt");
        QVERIFY(test::writeWholeFileForTest(logPath, "from an earlier run\r\n"));
        SerialPort port;
        ReplyFlags flags;
        SystemClock clock;
        test::ScriptedPrompts prompts;
        const DialogServices services{port, flags, clock, prompts, "/nonexistent/orvane-tty", "Log.txt"};

        auto first = std::make_unique<CUpgradeDlg>(services);
        first->show();
        QVERIFY(first->logFileHeld());
        QCOMPARE(QFileInfo(logPath).size(), 0);
        QVERIFY(lockedByAnother(logPath));

        // A second instance in the same folder cannot take it, leaves it alone, runs normally.
        QVERIFY(test::writeWholeFileForTest(logPath, "written meanwhile"));
        CUpgradeDlg second(services);
        second.show();
        QVERIFY(!second.logFileHeld());
        QCOMPARE(test::readWholeFile(logPath), QByteArray("written meanwhile"));
        QCOMPARE(dlgItemText(&second, IDC_ADDRESS), QString("1"));
        QVERIFY(dlgItem(&second, IDC_OPEN)->isEnabled());

        first.reset();
        QVERIFY(!lockedByAnother(logPath));
        CUpgradeDlg third(services);
        third.show();
        QVERIFY(third.logFileHeld());
        QCOMPARE(QFileInfo(logPath).size(), 0);
    }

    // Only a regular file is held. A FIFO must neither block the start (an open for writing
    // waits for a reader) nor be taken; with a reader it is left alone as well.
    void logFileLeavesAFifoAlone_data() {
        QTest::addColumn<bool>("withReader");
        QTest::newRow("no reader") << false;
        QTest::newRow("a reader") << true;
    }
    void logFileLeavesAFifoAlone() {
        QFETCH(bool, withReader);
        QTemporaryDir dir;
        const QByteArray fifo = dir.filePath("Log.txt").toLocal8Bit();
        QCOMPARE(::mkfifo(fifo.constData(), 0644), 0);
        const int reader = withReader ? ::open(fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;

        LockedLogFile log;
        auto opening = std::async(std::launch::async, [&] { return log.open(dir.filePath("Log.txt")); });
        const bool returned = opening.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        if (!returned) { // free the blocked open so the test can end
            ::close(::open(fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        }
        const bool held = opening.get();
        if (reader >= 0) {
            ::close(reader);
        }
        QVERIFY2(returned, "the open waited for a reader");
        QVERIFY(!held);
        QVERIFY(!log.isHeld());
        struct stat info {};
        QCOMPARE(::stat(fifo.constData(), &info), 0);
        QVERIFY(S_ISFIFO(info.st_mode));
    }

    void aboutItemOpensTheAboutBox() {
        test::DialogRig rig;
        QAction* about = menuAction(rig.dialog(), IDM_ABOUTBOX);
        QVERIFY(about != nullptr);
        QCOMPARE(about->text(), QString("Aboat Orvane(&A)..."));
        QCOMPARE(QKeySequence::mnemonic(about->text()), QKeySequence(Qt::ALT | Qt::Key_A));

        bool seen = false;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            QCOMPARE(box->windowTitle(), QString("关于 VELTA_Upgrade"));
            QCOMPARE(dlgItemText(box, IDC_ABOUT_VERSION), QString("OrvaneV1.0"));
            QCOMPARE(static_cast<QLabel*>(dlgItem(box, IDC_ABOUT_VERSION))->textFormat(), Qt::PlainText);
            QVERIFY(!dlgItemText(box, IDC_ABOUT_LINE2).isEmpty());
            QCOMPARE(static_cast<QLabel*>(dlgItem(box, IDC_ABOUT_ICON))->pixmap().size(), QSize(32, 32));
            auto* ok = qobject_cast<QPushButton*>(dlgItem(box, IDOK));
            QCOMPARE(ok->text(), QString("确定"));
            QVERIFY(ok->isDefault());
            seen = true;
            ok->click();
        });
        about->trigger();
        QVERIFY(seen);
        QVERIFY(rig.dialog().isVisible());
    }

    void enterEscapeAndCloseEndTheDialog_data() {
        QTest::addColumn<int>("focusId");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("result");
        QTest::newRow("Enter in the port box") << IDC_PORT << int(Qt::Key_Return) << int(QDialog::Accepted);
        QTest::newRow("keypad Enter in the address box")
            << IDC_ADDRESS << int(Qt::Key_Enter) << int(QDialog::Accepted);
        QTest::newRow("Enter in the path") << IDC_FILE_PATH << int(Qt::Key_Return) << int(QDialog::Accepted);
        QTest::newRow("Enter in the log") << IDC_LOG << int(Qt::Key_Return) << int(QDialog::Accepted);
        QTest::newRow("Escape in the speed box") << IDC_BPS << int(Qt::Key_Escape) << int(QDialog::Rejected);
        QTest::newRow("Escape on a button") << IDC_PTZ_UP << int(Qt::Key_Escape) << int(QDialog::Rejected);
    }
    void enterEscapeAndCloseEndTheDialog() {
        QFETCH(int, focusId);
        QFETCH(int, key);
        QFETCH(int, result);
        test::DialogRig rig;
        CUpgradeDlg& dlg = rig.dialog();
        QWidget* item = dlgItem(&dlg, focusId);
        if (auto* combo = qobject_cast<QComboBox*>(item)) {
            item = combo->lineEdit();
        }
        item->setFocus();
        QTest::keyClick(item, static_cast<Qt::Key>(key),
                        key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), result);
        QVERIFY(rig.prompts.questions.isEmpty());
    }

    void enterOnAFocusedButtonClicksIt() {
        test::DialogRig rig;
        QAbstractButton* file = rig.button(IDC_FILE);
        file->setFocus();
        QTest::keyClick(file, Qt::Key_Return);
        QCOMPARE(rig.prompts.fileDialogs.size(), std::size_t{1});
        QVERIFY(rig.dialog().isVisible());
    }

    void closeBoxEndsTheDialog() {
        test::DialogRig rig;
        QVERIFY(rig.dialog().close());
        QCOMPARE(rig.dialog().result(), int(QDialog::Rejected));
    }
};

QTEST_MAIN(DialogPortTest)
#include "dialog_port_test.moc"
