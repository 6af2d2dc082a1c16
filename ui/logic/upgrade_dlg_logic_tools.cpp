// The file button, the HEX merge (UBL and APP), device image packaging and the PTZ test
// buttons: all on the dialog thread, each a thin call into the core.
#include "imagetools/device_image.h"
#include "imagetools/hex_merge.h"
#include "ptz/ptz_frames.h"
#include "text/string_table.h"
#include "text/text_language.h"
#include "ui/dialog_template.h"
#include "ui/logic/upgrade_dlg_logic.h"

namespace orvane {
namespace {

const FileChoice imageFileChoice{"bin", {{"*.bin", "*.bin"}}};
const FileChoice hexFileChoice{"hex", {{"*.hex", "*.hex"}}};
const FileChoice rawImageChoice{"bin", {{"*.bin", "*.bin"}, {"*.*", "*"}}};

constexpr std::string_view lineEnd = "\r\n";

} // namespace

void UpgradeDlgLogic::OnSelectFile() {
    const auto picked = view_.chooseFile(imageFileChoice);
    if (!picked) {
        return;
    }
    m_filePath = *picked;
    view_.setControlText(IDC_FILE_PATH, m_filePath);
}

void UpgradeDlgLogic::OnUblButton() {
    const auto picked = view_.chooseFile(hexFileChoice);
    if (!picked) {
        return;
    }
    m_ublPath = *picked;
    m_logText.clear();
    const std::string line = "ubl:" + m_ublPath + std::string(lineEnd);
    showLog(m_logText + line);
    m_logText += line;
}

void UpgradeDlgLogic::OnAppButton() {
    const auto picked = view_.chooseFile(hexFileChoice);
    if (!picked) {
        return;
    }
    m_appPath = *picked;
    // Shown, not stored: the next writer of the log drops it.
    showLog(m_logText + "app:" + m_appPath + std::string(lineEnd));
    MergeHexFiles();
}

void UpgradeDlgLogic::MergeHexFiles() {
    // The merged file is written beside the APP file.
    const MergeOutcome outcome =
        orvane::MergeHexFiles({m_ublPath, m_appPath, {}, languageOfFlag(languageFlag)});
    // A missing path is said in the flag's language, and the dialog thread keeps that
    // language for every later lookup, the port messages included.
    if (outcome.missingPath) {
        SetTextLanguage(languageFlag);
    }
    if (outcome.written) {
        m_logText += fillText(loadText(IDS_MERGE_WRITTEN), {outcome.outputPath}) + std::string(lineEnd);
        showLog(m_logText);
    } else if (!outcome.logText.empty()) {
        m_logText += outcome.logText;
        showLog(m_logText);
    }
}

void UpgradeDlgLogic::PackageDeviceImage(char digit) {
    const auto picked = view_.chooseFile(rawImageChoice);
    if (!picked) {
        return;
    }
    const PackageOutcome outcome = orvane::PackageDeviceImage(digit, *picked, {}, threadLanguage());
    if (outcome.written) {
        m_logText += fillText(loadText(IDS_PACKAGE_WRITTEN), {outcome.outputPath}) + std::string(lineEnd);
        showLog(m_logText);
    }
    if (!outcome.written && !outcome.message.empty()) {
        view_.showMessage(outcome.message);
    }
}

void UpgradeDlgLogic::writePtz(PtzButton button) {
    if (jobRunning()) {
        return; // a frame between the job's blocks would corrupt the upgrade
    }
    pressPtzButton(button, [this](std::span<const std::uint8_t> frame) { services_.port.writePort(frame); });
}

void UpgradeDlgLogic::OnPtzLeft() {
    writePtz(PtzButton::Left);
}
void UpgradeDlgLogic::OnPtzUp() {
    writePtz(PtzButton::Up);
}
void UpgradeDlgLogic::OnPtzDown() {
    writePtz(PtzButton::Down);
}
void UpgradeDlgLogic::OnPtzRight() {
    writePtz(PtzButton::Right);
}
void UpgradeDlgLogic::OnPtzHome() {
    writePtz(PtzButton::Home);
}
void UpgradeDlgLogic::OnPtzStop() {
    writePtz(PtzButton::Stop);
}
void UpgradeDlgLogic::OnPtzTele() {
    writePtz(PtzButton::Tele);
}
void UpgradeDlgLogic::OnPtzWide() {
    writePtz(PtzButton::Wide);
}
void UpgradeDlgLogic::OnPtzNear() {
    writePtz(PtzButton::Near);
}
void UpgradeDlgLogic::OnPtzFar() {
    writePtz(PtzButton::Far);
}

} // namespace orvane
