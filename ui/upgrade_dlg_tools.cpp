// The file button, the HEX merge (UBL and APP), device image packaging and the PTZ test
// buttons: all on the dialog thread, each a thin call into the core.
#include "ui/upgrade_dlg.h"

#include <QString>

#include "imagetools/device_image.h"
#include "imagetools/hex_merge.h"
#include "ptz/ptz_frames.h"
#include "ui/dialog_item.h"
#include "ui/dialog_template.h"
#include "text/string_table.h"

namespace orvane {
namespace {

const OpenFileSetup imageFileSetup{QStringLiteral("bin"), QStringLiteral("*.bin (*.bin)")};
const OpenFileSetup hexFileSetup{QStringLiteral("hex"), QStringLiteral("*.hex (*.hex)")};
const OpenFileSetup rawImageSetup{QStringLiteral("bin"), QStringLiteral("*.bin (*.bin);;*.* (*)")};

const QString lineEnd = QStringLiteral("\r\n");

} // namespace

void CUpgradeDlg::OnSelectFile() {
    const auto picked = services_.prompts.openFile(this, imageFileSetup);
    if (!picked) {
        return;
    }
    m_filePath = *picked;
    setDlgItemText(this, IDC_FILE_PATH, m_filePath);
}

void CUpgradeDlg::OnUblButton() {
    const auto picked = services_.prompts.openFile(this, hexFileSetup);
    if (!picked) {
        return;
    }
    m_ublPath = *picked;
    m_logText.clear();
    const QString line = QStringLiteral("ubl:") + m_ublPath + lineEnd;
    showLog(m_logText + line);
    m_logText += line;
}

void CUpgradeDlg::OnAppButton() {
    const auto picked = services_.prompts.openFile(this, hexFileSetup);
    if (!picked) {
        return;
    }
    m_appPath = *picked;
    // Shown, not stored: the next writer of the log drops it.
    showLog(m_logText + QStringLiteral("app:") + m_appPath + lineEnd);
    MergeHexFiles();
}

void CUpgradeDlg::MergeHexFiles() {
    // The merged file is written beside the APP file.
    const MergeOutcome outcome = orvane::MergeHexFiles(
        {m_ublPath.toStdString(), m_appPath.toStdString(), {}, languageOfFlag(languageFlag)});
    // A missing path is said in the flag's language, and the dialog thread keeps that
    // language for its later messages, as it always has.
    if (outcome.missingPath) {
        SetTextLanguage(languageFlag);
    }
    if (outcome.written) {
        m_logText += QString::fromStdString(fillText(loadText(IDS_MERGE_WRITTEN), {outcome.outputPath})) + lineEnd;
        showLog(m_logText);
    } else if (!outcome.logText.empty()) {
        m_logText += QString::fromStdString(outcome.logText);
        showLog(m_logText);
    }
}

void CUpgradeDlg::PackageDeviceImage(char digit) {
    const auto picked = services_.prompts.openFile(this, rawImageSetup);
    if (!picked) {
        return;
    }
    const PackageOutcome outcome = orvane::PackageDeviceImage(digit, picked->toStdString(), {}, threadLanguage());
    if (outcome.written) {
        m_logText += QString::fromStdString(fillText(loadText(IDS_PACKAGE_WRITTEN), {outcome.outputPath})) + lineEnd;
        showLog(m_logText);
    }
    if (!outcome.written && !outcome.message.empty()) {
        services_.prompts.showMessage(this, QString::fromStdString(outcome.message));
    }
}

void CUpgradeDlg::writePtz(PtzButton button) {
    if (jobRunning()) {
        return; // a frame between the job's blocks would corrupt the upgrade
    }
    pressPtzButton(button,
                   [this](std::span<const std::uint8_t> frame) { services_.port.writePort(frame); });
}

void CUpgradeDlg::OnPtzLeft() { writePtz(PtzButton::Left); }
void CUpgradeDlg::OnPtzUp() { writePtz(PtzButton::Up); }
void CUpgradeDlg::OnPtzDown() { writePtz(PtzButton::Down); }
void CUpgradeDlg::OnPtzRight() { writePtz(PtzButton::Right); }
void CUpgradeDlg::OnPtzHome() { writePtz(PtzButton::Home); }
void CUpgradeDlg::OnPtzStop() { writePtz(PtzButton::Stop); }
void CUpgradeDlg::OnPtzTele() { writePtz(PtzButton::Tele); }
void CUpgradeDlg::OnPtzWide() { writePtz(PtzButton::Wide); }
void CUpgradeDlg::OnPtzNear() { writePtz(PtzButton::Near); }
void CUpgradeDlg::OnPtzFar() { writePtz(PtzButton::Far); }

} // namespace orvane
