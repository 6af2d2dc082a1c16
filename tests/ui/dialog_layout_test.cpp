// The main dialog as a technician first sees it: every control of the template where and
// what it should be, the lists and selections, the labels and title, and the button states.
#include "dialog_rig.h"
#include "ui/dialog_template.h"
#include "ui/qt/dialog_item.h"
#include "ui/qt/dialog_units.h"
#include "ui/qt/log_box.h"
#include "ui/qt/single_line_button.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTextBlock>
#include <QTextLayout>
#include <QtTest>

using namespace orvane;

namespace {

QStringList itemsOf(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) {
        items << combo->itemText(i);
    }
    return items;
}

const char* classOf(ControlKind kind) {
    switch (kind) {
    case ControlKind::Static:
    case ControlKind::Icon:
        return "QLabel";
    case ControlKind::ComboBox:
        return "QComboBox";
    case ControlKind::PushButton:
    case ControlKind::DefaultPushButton:
        return "orvane::SingleLineButton";
    case ControlKind::Edit:
        return "QLineEdit";
    case ControlKind::LogEdit:
        return "orvane::LogBox";
    }
    return "";
}

} // namespace

class DialogLayoutTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void freshDialogShowsDefaults() {
        test::DialogRig rig;
        CUpgradeDlg& dlg = rig.dialog();

        QCOMPARE(itemsOf(rig.combo(IDC_PORT)), (QStringList{"COM1", "COM2"}));
        QCOMPARE(rig.combo(IDC_PORT)->currentText(), QString("COM1"));

        QStringList addresses;
        for (int a = 0; a <= 255; ++a) {
            addresses << QString::number(a);
        }
        QCOMPARE(itemsOf(rig.combo(IDC_ADDRESS)), addresses);
        QCOMPARE(rig.combo(IDC_ADDRESS)->currentText(), QString("1"));
        QCOMPARE(itemsOf(rig.combo(IDC_BPS)),
                 (QStringList{"300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "28800",
                              "38400", "57600", "115200"}));
        QCOMPARE(rig.combo(IDC_BPS)->currentText(), QString("9600"));
        QCOMPARE(itemsOf(rig.combo(IDC_UPBPS)), (QStringList{"1200", "2400", "4800", "9600", "14400", "19200",
                                                             "28800", "38400", "57600", "115200"}));
        QCOMPARE(rig.combo(IDC_UPBPS)->currentText(), QString("9600"));
        QCOMPARE(rig.combo(IDC_SPEED)->count(), 0);
        QCOMPARE(rig.combo(IDC_SPEED)->currentText(), QString());

        QCOMPARE(dlg.windowTitle(), QString("Orvane V1.1"));
        const QList<QPair<int, QString>> texts{
            {IDC_PORT_LABEL, "Port:"},
            {IDC_BPS_LABEL, "BPS:"},
            {IDC_OPEN, "PortOpen "},
            {IDC_CLOSE, "PortClose "},
            {IDC_FILE, "Select File "},
            {IDC_UPDATE_MAIN, "Update MainBoard\n\n"},
            {IDC_UPDATE_MOTOR, "Update MotorBoard\n\n"},
            {IDC_UPDATE_SPECIAL, "Update Special"},
            {IDC_ADDRESS_LABEL, "Address"},
            {IDC_UPBPS_LABEL, "UPBPS:"},
            {IDC_SPEED_LABEL, "speed"},
            {IDC_UBL, "UBL"},
            {IDC_APP, "APP"},
            {IDC_PTZ_HOME, "HOME"},
            {IDC_PTZ_FAR, "FAR"},
            {IDC_FILE_PATH, ""},
            {IDC_LOG, ""},
        };
        for (const auto& [id, text] : texts) {
            QCOMPARE(dlgItemText(&dlg, id), text);
        }
        // 110 and 111 are addressed to controls the dialog does not have.
        for (QWidget* child : dlg.findChildren<QWidget*>()) {
            QVERIFY(dlgItemText(&dlg, child->property(controlIdProperty).toInt()) != QString("Chinese"));
            QVERIFY(dlgItemText(&dlg, child->property(controlIdProperty).toInt()) != QString("English"));
        }

        for (const ControlTemplate& control : upgradeDialogControls) {
            QCOMPARE(dlgItem(&dlg, control.id)->isEnabled(), control.id != IDC_CLOSE);
        }
        QVERIFY(dlg.logText().isEmpty());
        QVERIFY(dlg.filePath().isEmpty());
        QVERIFY(dlg.portName().isEmpty());
        QVERIFY(dlg.logFileHeld());
        // The first tab stop has the focus.
        QWidget* port = dlgItem(&dlg, IDC_PORT);
        QTRY_VERIFY(QApplication::focusWidget() == port || port->isAncestorOf(QApplication::focusWidget()));
    }

    void controlsFollowTheTemplate() {
        test::DialogRig rig;
        CUpgradeDlg& dlg = rig.dialog();
        const DialogBaseUnits base = baseUnitsOf(dialogFont());
        QCOMPARE(dlg.size(), QSize(toPixelsX(567, base), toPixelsY(227, base)));
        QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
        QVERIFY(!(dlg.windowFlags() & Qt::WindowMinMaxButtonsHint));

        QWidget* previousStop = nullptr;
        for (const ControlTemplate& control : upgradeDialogControls) {
            QWidget* item = dlgItem(&dlg, control.id);
            QVERIFY2(item != nullptr, control.name.data());
            QCOMPARE(item->objectName(), QString::fromLatin1(control.name.data(), control.name.size()));
            QCOMPARE(item->metaObject()->className(), classOf(control.kind));
            const QRect expected = toPixels(control.rect, base);
            if (control.kind == ControlKind::ComboBox) {
                // The template height of a combo box is its dropped list's.
                QCOMPARE(item->geometry().topLeft(), expected.topLeft());
                QCOMPARE(item->width(), expected.width());
                QVERIFY(item->height() < expected.height());
                auto* combo = static_cast<QComboBox*>(item);
                QVERIFY(combo->isEditable());
                QCOMPARE(combo->insertPolicy(), QComboBox::NoInsert);
                QVERIFY(combo->completer() == nullptr);
            } else {
                QCOMPARE(item->geometry(), expected);
            }
            if (control.kind == ControlKind::Static) {
                QCOMPARE(static_cast<QLabel*>(item)->textFormat(), Qt::PlainText);
                QCOMPARE(item->focusPolicy(), Qt::NoFocus);
                continue;
            }
            // Every other control is a tab stop, in template order.
            QVERIFY(item->focusPolicy() & Qt::TabFocus);
            if (previousStop != nullptr) {
                QWidget* next = previousStop->nextInFocusChain();
                // Past a combo box's own edit field and the controls that are no tab stops.
                while (next != nullptr &&
                       (next->parentWidget() != &dlg || next->focusPolicy() == Qt::NoFocus)) {
                    next = next->nextInFocusChain();
                }
                QCOMPARE(next, item);
            }
            previousStop = item;
        }
        auto* log = static_cast<LogBox*>(dlgItem(&dlg, IDC_LOG));
        QVERIFY(log->isReadOnly());
        QCOMPARE(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(log->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QVERIFY(!static_cast<QLineEdit*>(dlgItem(&dlg, IDC_FILE_PATH))->isReadOnly());

        const QFontInfo font(dlg.font());
        QVERIFY2(font.family().contains("WenQuanYi"), qPrintable(font.family()));
        QCOMPARE(dlg.font().pointSize(), 9);
    }

    void typedTextStaysAsTyped() {
        test::DialogRig rig;
        QComboBox* port = rig.combo(IDC_PORT);
        port->setFocus();
        port->lineEdit()->clear();
        QTest::keyClicks(port->lineEdit(), "COM");
        QCOMPARE(port->currentText(), QString("COM")); // no completion to COM1
        QCOMPARE(port->count(), 2);
    }

    // A long reason is shown whole: its line wraps at the box's width, a word too long for one
    // line included, since the box does not scroll sideways.
    void longLogLinesWrapAtTheBoxWidth_data() {
        QTest::addColumn<QString>("line");
        QTest::newRow("words")
            << "No answer to the boot-loader command within 10 s from address 1 at 9600 bit/s: "
               "check the address, the line speed and the cable";
        QTest::newRow("one long word")
            << "Cannot open serial port "
               "/dev/serial/by-id/"
               "usb-Silicon_Labs_CP2102N_USB_to_UART_Bridge_Controller_0001a2b3c4d5e6f7-if00-port0";
    }
    void longLogLinesWrapAtTheBoxWidth() {
        QFETCH(QString, line);
        test::DialogRig rig;
        setDlgItemText(&rig.dialog(), IDC_LOG, "Start\r\n" + line + "\r\n");
        auto* log = static_cast<LogBox*>(dlgItem(&rig.dialog(), IDC_LOG));
        const QTextBlock block = log->document()->findBlockByNumber(1);
        QCOMPARE(block.text(), line);
        log->document()->documentLayout()->blockBoundingRect(block); // lays the block out
        QVERIFY(block.layout()->lineCount() > 1);
        for (int i = 0; i < block.layout()->lineCount(); ++i) {
            QVERIFY(block.layout()->lineAt(i).naturalTextWidth() <= log->viewport()->width());
        }
    }

    void buttonTextsDrawOnOneLine() {
        // The line feeds that end a button text change nothing of what is drawn.
        SingleLineButton plain(QStringLiteral("Update MainBoard"));
        SingleLineButton withFeeds(QStringLiteral("Update MainBoard\n\n"));
        for (SingleLineButton* button : {&plain, &withFeeds}) {
            button->setFont(dialogFont());
            button->resize(136, 24);
        }
        QCOMPARE(withFeeds.grab().toImage(), plain.grab().toImage());
        QCOMPARE(withFeeds.text(), QString("Update MainBoard\n\n"));
    }

    void textValuesAsTheDialogReadsThem_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("number") << "9600" << 9600;
        QTest::newRow("leading blanks") << "  115200" << 115200;
        QTest::newRow("negative") << "-7" << -7;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("minus only") << "-" << 0;
        QTest::newRow("letters") << "fast" << 0;
        QTest::newRow("trailing letters") << "9600bps" << 0;
        QTest::newRow("largest") << "2147483647" << 2147483647;
        QTest::newRow("too large") << "2147483648" << 0;
        QTest::newRow("smallest") << "-2147483648" << (-2147483647 - 1);
        QTest::newRow("far too large") << "99999999999999999999" << 0;
    }
    void textValuesAsTheDialogReadsThem() {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(signedValueOf(text), value);
    }
};

QTEST_MAIN(DialogLayoutTest)
#include "dialog_layout_test.moc"
