// Renders the main dialog, as it stands after an upgrade of the virtual camera whose adapter
// was pulled halfway (the log's reason wraps at the box's width), and the about box to PNG
// files in the build folder, so a person can look at them. With
// ORVANE_DIALOG_PICTURE set, the main dialog's picture is also written there (that is how
// docs/dialog.png is made).
#include "dialog_rig.h"
#include "sim/virtual_camera.h"
#include "ui/dialog_template.h"
#include "ui/qt/about_dlg.h"
#include "ui/qt/dialog_item.h"
#include "ui/qt/dialog_units.h"

#include <QImage>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextLayout>
#include <QtTest>

using namespace orvane;

namespace {

// The window's client area under a plain caption bar with its icon and title.
QImage framedPicture(QWidget& window) {
    const QImage client = window.grab().toImage();
    const int caption = 24;
    QImage picture(client.width() + 2, client.height() + caption + 1, QImage::Format_ARGB32);
    picture.fill(QColor(0x3a, 0x3f, 0x4b));
    QPainter painter(&picture);
    painter.drawPixmap(QPoint(5, (caption - 16) / 2), window.windowIcon().pixmap(16, 16));
    painter.setPen(Qt::white);
    painter.setFont(dialogFont());
    painter.drawText(QRect(26, 0, client.width() - 60, caption), Qt::AlignVCenter | Qt::AlignLeft,
                     window.windowTitle());
    painter.drawText(QRect(client.width() - 24, 0, 20, caption), Qt::AlignCenter, QStringLiteral("✕"));
    painter.drawImage(QPoint(1, caption), client);
    painter.end();
    return picture;
}

} // namespace

class DialogRenderTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void rendersDialogAndAboutBox() {
        VirtualCameraOptions options;
        options.faults.vanishAtBlock = 3;
        VirtualCamera camera(options);
        QVERIFY2(camera.start(), camera.error().c_str());
        test::DialogRig rig;
        const QString image = rig.workingDir.file("mainboard_v1.1.bin");
        QVERIFY(test::writeWholeFileForTest(image, QByteArray(5000, '\x3C')));
        rig.prompts.fileAnswers.push_back(image);
        rig.click(IDC_FILE);
        rig.setPortText(QString::fromStdString(camera.portPath()));
        rig.click(IDC_UPDATE_MAIN);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.dialog().jobRunning(), 30000);
        QVERIFY2(
            rig.dialog().logText().endsWith("disappeared (unplugged?): plug the adapter back in and start "
                                            "again\r\nUpdate was failed !\r\n"),
            qPrintable(rig.dialog().logText()));
        auto* log = static_cast<QPlainTextEdit*>(dlgItem(&rig.dialog(), IDC_LOG));
        const QTextBlock reason = log->document()->lastBlock().previous().previous();
        log->document()->documentLayout()->blockBoundingRect(reason); // lays the block out
        QVERIFY2(reason.layout()->lineCount() > 1, qPrintable(reason.text()));
        QVERIFY(QTest::qWaitForWindowExposed(&rig.dialog()));

        const QImage dialog = framedPicture(rig.dialog());
        const DialogBaseUnits base = baseUnitsOf(dialogFont());
        QCOMPARE(dialog.width(), toPixelsX(upgradeDialogWidth, base) + 2);
        QVERIFY(dialog.save(QStringLiteral(ORVANE_UI_TEST_OUTPUT "/dialog.png")));
        if (const QByteArray docs = qgetenv("ORVANE_DIALOG_PICTURE"); !docs.isEmpty()) {
            QVERIFY(dialog.save(QString::fromLocal8Bit(docs)));
        }

        CAboutDlg about(&rig.dialog());
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        const QImage aboutPicture = framedPicture(about);
        QVERIFY(aboutPicture.save(QStringLiteral(ORVANE_UI_TEST_OUTPUT "/about.png")));

        // Not blank: the dialog's client area has text and frames in more than a few colours.
        QSet<QRgb> colours;
        for (int y = 30; y < dialog.height(); y += 3) {
            for (int x = 0; x < dialog.width(); x += 3) {
                colours.insert(dialog.pixel(x, y));
            }
        }
        QVERIFY2(colours.size() > 8, "the rendered dialog looks blank");
    }
};

QTEST_MAIN(DialogRenderTest)
#include "dialog_render_test.moc"
