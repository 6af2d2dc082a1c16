// The dialog's service tools: PTZ frames on the line, the UBL and APP picks with their log
// texts and the merged file, packaging from the context menu, and the image file button.
#include "dialog_rig.h"
#include "text/text_language.h"
#include "ui/dialog_template.h"
#include "ui/logic/context_menu.h"
#include "ui/qt/dialog_item.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QMenu>
#include <QtTest>

using namespace orvane;

namespace {

// One Intel HEX record with its checksum and CR LF.
QByteArray hexRecord(int type, int address, const QByteArray& data) {
    QByteArray body;
    body.append(static_cast<char>(data.size()));
    body.append(static_cast<char>(address >> 8));
    body.append(static_cast<char>(address & 0xFF));
    body.append(static_cast<char>(type));
    body.append(data);
    int sum = 0;
    for (const char c : body) {
        sum += static_cast<unsigned char>(c);
    }
    body.append(static_cast<char>((0x100 - (sum & 0xFF)) & 0xFF));
    return ":" + body.toHex().toUpper() + "\r\n";
}

QByteArray dataRecords(int address, int count, char seed) {
    QByteArray records;
    for (int offset = 0; offset < count; offset += 16) {
        QByteArray data;
        for (int i = offset; i < std::min(count, offset + 16); ++i) {
            data.append(static_cast<char>(seed + i));
        }
        records += hexRecord(0, address + offset, data);
    }
    return records;
}

const QByteArray base0800 = hexRecord(4, 0, QByteArray::fromHex("0800"));
const QByteArray endRecord = ":00000001FF\r\n";
const QByteArray ublHex = base0800 + dataRecords(0x0000, 40, 'a') + endRecord;
const QByteArray appHex =
    base0800 + dataRecords(0x4000, 50, 'A') + hexRecord(5, 0, QByteArray::fromHex("08004001")) + endRecord;

QAction* menuAction(const CUpgradeDlg& dlg, int commandId) {
    for (QAction* action : dlg.contextMenu()->actions()) {
        if (!action->isSeparator() && action->data().toInt() == commandId) {
            return action;
        }
    }
    return nullptr;
}

} // namespace

class DialogToolsTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void ptzButtonsPutTheirFrameOnTheLine_data() {
        QTest::addColumn<int>("button");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("LEFT") << IDC_PTZ_LEFT << QByteArray::fromHex("FF0100041E0023");
        QTest::newRow("UP") << IDC_PTZ_UP << QByteArray::fromHex("FF010008001E27");
        QTest::newRow("DOWN") << IDC_PTZ_DOWN << QByteArray::fromHex("FF010010001E2F");
        QTest::newRow("RIGHT") << IDC_PTZ_RIGHT << QByteArray::fromHex("FF0100021E0021");
        QTest::newRow("HOME") << IDC_PTZ_HOME << QByteArray();
        QTest::newRow("STOP") << IDC_PTZ_STOP << QByteArray::fromHex("FF010000000001");
        QTest::newRow("TELE") << IDC_PTZ_TELE << QByteArray::fromHex("FF010020000021");
        QTest::newRow("WIDE") << IDC_PTZ_WIDE << QByteArray::fromHex("FF010040000041");
        QTest::newRow("NEAR") << IDC_PTZ_NEAR << QByteArray::fromHex("FF010100000002");
        QTest::newRow("FAR") << IDC_PTZ_FAR << QByteArray::fromHex("FF010080000081");
    }
    void ptzButtonsPutTheirFrameOnTheLine() {
        QFETCH(int, button);
        QFETCH(QByteArray, frame);
        test::LineEnd line;
        test::DialogRig rig;
        rig.setPortText(QString::fromStdString(line.path()));
        rig.click(IDC_OPEN);
        QVERIFY(rig.port.isOpen());
        // Neither the address nor the speed box is consulted.
        rig.combo(IDC_ADDRESS)->setEditText("42");
        rig.combo(IDC_SPEED)->setEditText("7");

        rig.click(button);
        rig.click(button);
        const auto sent = line.read(14, std::chrono::milliseconds(frame.isEmpty() ? 300 : 2000));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(sent.data()), static_cast<qsizetype>(sent.size())),
                 frame + frame);
        QCOMPARE(rig.prompts.messages.size(), 1); // only the port's "open successful"
        QVERIFY(rig.dialog().logText().isEmpty());
    }

    void ublAndAppPicksMergeBesideTheApp() {
        test::DialogRig rig;
        CUpgradeDlg& dlg = rig.dialog();
        const QString ubl = rig.workingDir.file("boot.hex");
        QDir(rig.workingDir.path()).mkdir("app");
        const QString app = rig.workingDir.file("app/camera.v2.hex");
        QVERIFY(test::writeWholeFileForTest(ubl, ublHex));
        QVERIFY(test::writeWholeFileForTest(app, appHex));

        // APP first: the merge has no UBL; the "app:" line is shown, then replaced.
        rig.prompts.fileAnswers = {app};
        rig.click(IDC_APP);
        QCOMPARE(dlg.logText(), QString("Please Select File !1\r\n"));
        QCOMPARE(dlgItemText(&dlg, IDC_LOG), dlg.logText());
        QVERIFY(!QFile::exists(rig.workingDir.file("app/camera.v2all.hex")));

        // The UBL pick clears the log down to its own line.
        rig.prompts.fileAnswers = {ubl};
        rig.click(IDC_UBL);
        const QString ublLine = "ubl:" + ubl + "\r\n";
        QCOMPARE(dlg.logText(), ublLine);
        QCOMPARE(dlgItemText(&dlg, IDC_LOG), ublLine);

        rig.prompts.fileAnswers = {app};
        rig.click(IDC_APP);
        // The "app:" line is shown, not kept: the line naming the merged file follows the UBL's.
        const QString mergedLine =
            "Merged file written: " + rig.workingDir.file("app/camera.v2all.hex") + "\r\n";
        QCOMPARE(dlg.logText(), ublLine + mergedLine);
        QCOMPARE(dlgItemText(&dlg, IDC_LOG), ublLine + mergedLine);
        const QByteArray merged = test::readWholeFile(rig.workingDir.file("app/camera.v2all.hex"));
        const QByteArray expected = ublHex.left(ublHex.size() - 15) + appHex.mid(15, appHex.size() - 49) +
                                    ":020000040803EF\r\n:04CFFC00000600A586\r\n" + appHex.right(34);
        QCOMPARE(merged, expected);
        QCOMPARE(merged.size(), ublHex.size() + appHex.size() + 8);

        // Cancelled picks change nothing.
        const QString shown = dlgItemText(&dlg, IDC_LOG);
        rig.click(IDC_UBL);
        rig.click(IDC_APP);
        QCOMPARE(dlg.ublPath(), ubl);
        QCOMPARE(dlg.appPath(), app);
        QCOMPARE(dlgItemText(&dlg, IDC_LOG), shown);
        QCOMPARE(rig.prompts.fileDialogs.back().filter, QString("*.hex (*.hex)"));
        QCOMPARE(rig.prompts.fileDialogs.back().defaultSuffix, QString("hex"));
    }

    void misshapenHexIsRefusedInTheLog() {
        test::DialogRig rig;
        const QString ubl = rig.workingDir.file("boot.hex");
        const QString app = rig.workingDir.file("app.hex");
        QVERIFY(test::writeWholeFileForTest(ubl, ublHex));
        QVERIFY(
            test::writeWholeFileForTest(app, "not a hex file at all, long enough to be cut: 0123456789\r\n"));
        rig.prompts.fileAnswers = {ubl, app};
        rig.click(IDC_UBL);
        rig.click(IDC_APP);
        const QString log = rig.dialog().logText();
        QVERIFY2(log.startsWith("ubl:" + ubl + "\r\n" + app), qPrintable(log));
        QVERIFY(log.endsWith("\r\n"));
        QVERIFY(!QFile::exists(rig.workingDir.file("appall.hex")));
    }

    void missingPathMessagesFollowTheLanguageFlag() {
        // With the flag set to Chinese the merge's message is Chinese, and from then on so
        // are the dialog thread's port messages; labels stay English.
        test::DialogRig rig;
        rig.dialog().setLanguageFlag(2);
        rig.setPortText("/dev/orvane-no-such-port");
        rig.click(IDC_OPEN);
        rig.prompts.fileAnswers = {rig.workingDir.file("x.hex")};
        rig.click(IDC_APP);
        rig.click(IDC_OPEN);
        SetTextLanguage(1);

        QCOMPARE(rig.dialog().logText(), QString("请选择文件！1\r\n"));
        QCOMPARE(rig.prompts.messages.size(), 2);
        QVERIFY(rig.prompts.messages[0].startsWith("Serial ports open fail !"));
        QVERIFY(rig.prompts.messages[1].startsWith("串口打开失败！"));
        QCOMPARE(dlgItemText(&rig.dialog(), IDC_OPEN), QString("PortOpen "));
    }

    void packagingFromTheContextMenu_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<QByteArray>("header");
        QTest::newRow("type 1") << ID_PACKAGE_TYPE1 << QByteArray("ABUF1");
        QTest::newRow("type 2") << ID_PACKAGE_TYPE2 << QByteArray("ABUF2");
        QTest::newRow("type 3") << ID_PACKAGE_TYPE3 << QByteArray("ABUF3");
    }
    void packagingFromTheContextMenu() {
        QFETCH(int, command);
        QFETCH(QByteArray, header);
        test::DialogRig rig;
        const QString raw = rig.workingDir.file("fw.rev.bin");
        const QByteArray image = QByteArray("ABUF9 already looks packaged") + QByteArray(3000, '\x5A');
        QVERIFY(test::writeWholeFileForTest(raw, image));
        QVERIFY(test::writeWholeFileForTest(rig.workingDir.file("fw.rev.dev"), "an older device image"));
        QAction* action = menuAction(rig.dialog(), command);
        QVERIFY(action != nullptr);
        QVERIFY(action->text().contains(header.right(1)));

        rig.prompts.fileAnswers = {raw};
        action->trigger();
        QCOMPARE(test::readWholeFile(rig.workingDir.file("fw.rev.dev")), header + image);
        QVERIFY(rig.prompts.messages.isEmpty());
        QCOMPARE(rig.prompts.fileDialogs.back().filter, QString("*.bin (*.bin);;*.* (*)"));
        QCOMPARE(rig.dialog().logText(),
                 "Device image written: " + rig.workingDir.file("fw.rev.dev") + "\r\n");
    }

    void packagingAnUnreadableFileSaysSo() {
        test::DialogRig rig;
        rig.prompts.fileAnswers = {rig.workingDir.file("missing.bin"), std::nullopt};
        menuAction(rig.dialog(), ID_PACKAGE_TYPE2)->trigger();
        QCOMPARE(rig.prompts.messages, QStringList{"取数据 faiture !"});
        QVERIFY(!QFile::exists(rig.workingDir.file("missing.dev")));
        menuAction(rig.dialog(), ID_PACKAGE_TYPE2)->trigger(); // cancelled: nothing more
        QCOMPARE(rig.prompts.messages.size(), 1);
    }

    void lowLatencyRepliesAreACheckableItemOffAtStart() {
        test::DialogRig rig;
        QAction* action = menuAction(rig.dialog(), ID_LOW_LATENCY);
        QVERIFY(action != nullptr);
        QVERIFY(action->isCheckable());
        QVERIFY(!action->isChecked());
        QVERIFY(!rig.dialog().lowLatencyReplies());
        action->trigger();
        QVERIFY(rig.dialog().lowLatencyReplies());
    }

    void fileButtonKeepsThePathUntilAnotherIsPicked() {
        test::DialogRig rig;
        rig.prompts.fileAnswers = {QString("/srv/images/main.bin"), std::nullopt};
        rig.click(IDC_FILE);
        QCOMPARE(rig.dialog().filePath(), QString("/srv/images/main.bin"));
        QCOMPARE(dlgItemText(&rig.dialog(), IDC_FILE_PATH), QString("/srv/images/main.bin"));
        rig.click(IDC_FILE);
        QCOMPARE(rig.dialog().filePath(), QString("/srv/images/main.bin"));
        QCOMPARE(rig.prompts.fileDialogs.front().filter, QString("*.bin (*.bin)"));
        QCOMPARE(rig.prompts.fileDialogs.front().defaultSuffix, QString("bin"));
    }
};

QTEST_MAIN(DialogToolsTest)
#include "dialog_tools_test.moc"
