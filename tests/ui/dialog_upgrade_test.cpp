// Upgrades started from the dialog's buttons against the virtual camera in this process:
// the whole exchange, a second start while one runs, and ending the dialog mid-flash.
#include "dialog_rig.h"
#include "sim/virtual_camera.h"
#include "ui/dialog_template.h"
#include "ui/qt/dialog_item.h"
#include "upgrade/upgrade_job.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QtTest>
#include <array>

using namespace orvane;

namespace {

QByteArray imageOf(int length) {
    QByteArray image(length, '\0');
    for (int i = 0; i < length; ++i) {
        image[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    }
    return image;
}

QByteArray bytesOf(const std::vector<std::uint8_t>& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

// A camera and a dialog pointed at it, with an image chosen.
struct CameraRig {
    explicit CameraRig(CameraFaults faults = {}, int imageLength = 3000, bool viaLink = false)
        : camera(optionsWith(faults, viaLink ? rig.workingDir.file("cam") : QString())) {
        started = camera.start();
        image = imageOf(imageLength);
        const QString path = rig.workingDir.file("main.bin");
        test::writeWholeFileForTest(path, image);
        rig.prompts.fileAnswers.push_back(path);
        rig.click(IDC_FILE);
        rig.setPortText(QString::fromStdString(camera.portPath()));
    }
    static VirtualCameraOptions optionsWith(CameraFaults faults, const QString& link) {
        VirtualCameraOptions options;
        options.faults = std::move(faults);
        options.linkPath = link.toStdString(); // as "orvane-cli simulate --link" makes it
        return options;
    }
    std::size_t framesOf(HostFrameKind kind) const { return camera.receivedFrames(kind).size(); }

    test::DialogRig rig;
    VirtualCamera camera;
    bool started = false;
    QByteArray image;
};

constexpr int jobTimeoutMs = 30000;

} // namespace

class DialogUpgradeTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void updateButtonsFlashTheCamera_data() {
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("imageLength");
        QTest::addColumn<bool>("viaLink"); // the port typed as a symbolic link to the device
        QTest::newRow("main board, three blocks")
            << IDC_UPDATE_MAIN << int(UpgradeTarget::MainBoard) << 3000 << false;
        QTest::newRow("motor board, two blocks, link")
            << IDC_UPDATE_MOTOR << int(UpgradeTarget::MotorBoard) << 2048 << true;
        QTest::newRow("special target, one block")
            << IDC_UPDATE_SPECIAL << int(UpgradeTarget::Special) << 700 << false;
    }
    void updateButtonsFlashTheCamera() {
        QFETCH(int, button);
        QFETCH(int, target);
        QFETCH(int, imageLength);
        QFETCH(bool, viaLink);
        CameraRig cam({}, imageLength, viaLink);
        QVERIFY2(cam.started, cam.camera.error().c_str());
        CUpgradeDlg& dlg = cam.rig.dialog();

        cam.rig.click(button);
        QVERIFY(dlg.jobRunning());
        // The dialog stays responsive while the job runs: this wait spins its event loop.
        QTRY_VERIFY_WITH_TIMEOUT(dlg.logText().startsWith("Start\r\n"), jobTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.jobRunning(), jobTimeoutMs);

        const QString expected = "Start\r\n"
                                 "Send Command successful !\r\n"
                                 "Send updated datas  progress:100%\r\n"
                                 "Update was successful !\r\n";
        QCOMPARE(dlg.logText(), expected);
        QCOMPARE(dlgItemText(&dlg, IDC_LOG), expected);
        QCOMPARE(dlg.portName(), QString::fromStdString(cam.camera.portPath()));

        const auto verdict = cam.camera.waitForVerdict(std::chrono::seconds(5));
        QVERIFY(verdict.has_value());
        QVERIFY2(verdict->matches, verdict->summary.c_str());
        QCOMPARE(int(verdict->target), target);
        QCOMPARE(bytesOf(verdict->image), cam.image);
        QCOMPARE(cam.framesOf(HostFrameKind::Abort), std::size_t{0});
    }

    void jobLocksThePortAndPtzButtons() {
        VirtualCameraOptions options;
        options.flashTime = std::chrono::milliseconds(400); // three blocks: over a second
        VirtualCamera camera(options);
        QVERIFY(camera.start());
        test::DialogRig rig;
        CUpgradeDlg& dlg = rig.dialog();
        const QString path = rig.workingDir.file("main.bin");
        QVERIFY(test::writeWholeFileForTest(path, imageOf(3000)));
        rig.prompts.fileAnswers.push_back(path);
        rig.click(IDC_FILE);
        rig.setPortText(QString::fromStdString(camera.portPath()));
        const std::array locked{IDC_OPEN,     IDC_PORT,     IDC_BPS,    IDC_UPBPS,
                                IDC_PTZ_LEFT, IDC_PTZ_STOP, IDC_PTZ_FAR};
        const auto enabledNow = [&] {
            QList<bool> states;
            for (const int id : locked) {
                states.append(dlgItem(&dlg, id)->isEnabled());
            }
            return states;
        };
        const QList<bool> before = enabledNow();
        QVERIFY(!dlgItem(&dlg, IDC_CLOSE)->isEnabled());

        rig.click(IDC_UPDATE_MAIN);
        QTRY_VERIFY_WITH_TIMEOUT(dlgItemText(&dlg, IDC_LOG).contains("progress:"), jobTimeoutMs);
        QCOMPARE(enabledNow(), QList<bool>(locked.size(), false));
        for (const int id : {IDC_PTZ_LEFT, IDC_PTZ_STOP, IDC_OPEN}) {
            rig.click(id);     // a disabled button ignores the click
            dlg.OnCommand(id); // and the handler refuses while the job runs
        }
        QVERIFY(dlg.jobRunning());
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.jobRunning(), jobTimeoutMs);
        QVERIFY(dlg.logText().endsWith("Update was successful !\r\n"));
        QTRY_COMPARE(enabledNow(), before);
        QVERIFY(!dlgItem(&dlg, IDC_CLOSE)->isEnabled());
        QCOMPARE(camera.receivedFrames(HostFrameKind::Ptz).size(), std::size_t{0});
        QVERIFY(rig.prompts.messages.isEmpty()); // no port message from PortOpen either

        rig.click(IDC_PTZ_LEFT); // and after the job they act again
        QTRY_COMPARE(camera.receivedFrames(HostFrameKind::Ptz).size(), std::size_t{1});
    }

    void noImageChosenOnlySaysSo() {
        test::DialogRig rig;
        rig.click(IDC_UPDATE_MAIN);
        QTRY_VERIFY(!rig.dialog().jobRunning());
        QCOMPARE(rig.dialog().logText(), QString("Please Select File !\r\n"));
        QVERIFY(!rig.port.isOpen());
    }

    void secondStartWhileOneRunsIsRefused() {
        CameraFaults silent;
        silent.silentAt = StepRef{CameraStep::Enter, 0}; // the job waits out its 10 s for EnterAck
        CameraRig cam(silent);
        QVERIFY(cam.started);
        CUpgradeDlg& dlg = cam.rig.dialog();
        cam.rig.click(IDC_UPDATE_MAIN);
        QTRY_COMPARE_WITH_TIMEOUT(dlg.logText(), QString("Start\r\n"), jobTimeoutMs);

        cam.rig.click(IDC_UPDATE_MOTOR);
        QCOMPARE(dlg.logText(), QString("Start\r\nAn upgrade is already running !\r\n"));
        QCOMPARE(dlg.currentTarget(), UpgradeTarget::MainBoard);
        QTest::qWait(300);
        QCOMPARE(cam.framesOf(HostFrameKind::EnterUpgrade), std::size_t{1});

        // Leaving with Escape and a yes ends the job with the AbortFrame on the line.
        cam.rig.prompts.yesNoAnswer = true;
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QVERIFY(!dlg.jobRunning());
        QVERIFY(!dlg.isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(cam.framesOf(HostFrameKind::Abort), std::size_t{1}, 5000);
    }

    void enterDuringAJobAsksFirst() {
        CameraFaults slowBlocks;
        slowBlocks.silentAt = StepRef{CameraStep::Block, 2}; // the job waits in the block loop
        CameraRig cam(slowBlocks);
        QVERIFY(cam.started);
        CUpgradeDlg& dlg = cam.rig.dialog();
        cam.rig.click(IDC_UPDATE_MAIN);
        QTRY_VERIFY_WITH_TIMEOUT(dlgItemText(&dlg, IDC_LOG).contains("progress:34%"), jobTimeoutMs);

        // No: nothing ends, the job goes on.
        QWidget* address = qobject_cast<QComboBox*>(dlgItem(&dlg, IDC_ADDRESS))->lineEdit();
        address->setFocus();
        cam.rig.prompts.yesNoAnswer = false;
        QTest::keyClick(address, Qt::Key_Return);
        QCOMPARE(cam.rig.prompts.questions.size(), 1);
        QVERIFY(dlg.isVisible());
        QVERIFY(dlg.jobRunning());
        QVERIFY(dlg.close() == false); // the close box asks too
        QCOMPARE(cam.rig.prompts.questions.size(), 2);
        QVERIFY(dlg.jobRunning());

        // Yes: the job is given up, the camera told, and only then does the dialog end.
        cam.rig.prompts.yesNoAnswer = true;
        QTest::keyClick(address, Qt::Key_Return);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(!dlg.jobRunning());
        QTRY_COMPARE_WITH_TIMEOUT(cam.framesOf(HostFrameKind::Abort), std::size_t{1}, 5000);
        QVERIFY2(dlg.logText().endsWith("progress:34%\r\nUpgrade cancelled\r\nUpdate was failed !\r\n"),
                 qPrintable(dlg.logText()));
        const auto verdict = cam.camera.waitForVerdict(std::chrono::seconds(5));
        QVERIFY(!verdict || !verdict->finished);
    }

    void destroyingTheDialogGivesTheJobUp() {
        VirtualCameraOptions options;
        options.faults.silentAt = StepRef{CameraStep::Enter, 0};
        VirtualCamera camera(options);
        QVERIFY(camera.start());
        auto rig = std::make_unique<test::DialogRig>();
        const QString path = rig->workingDir.file("main.bin");
        QVERIFY(test::writeWholeFileForTest(path, imageOf(100)));
        rig->prompts.fileAnswers.push_back(path);
        rig->click(IDC_FILE);
        rig->setPortText(QString::fromStdString(camera.portPath()));
        rig->click(IDC_UPDATE_MAIN);
        QTRY_COMPARE_WITH_TIMEOUT(camera.receivedFrames(HostFrameKind::EnterUpgrade).size(), std::size_t{1},
                                  jobTimeoutMs);

        // The job is calling into the dialog all the while; destruction must not hang on it.
        QElapsedTimer timer;
        timer.start();
        rig.reset();
        QVERIFY(timer.elapsed() < 5000);
        QTRY_COMPARE_WITH_TIMEOUT(camera.receivedFrames(HostFrameKind::Abort).size(), std::size_t{1}, 5000);
    }
};

QTEST_MAIN(DialogUpgradeTest)
#include "dialog_upgrade_test.moc"
