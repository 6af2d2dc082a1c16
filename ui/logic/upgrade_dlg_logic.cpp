// The dialog's logic: construction and the end, the message map, the port buttons and what
// Enter, Escape and the close box do.
#include "ui/logic/upgrade_dlg_logic.h"

#include "serial/port_open_failure.h"
#include "text/failure_messages.h"
#include "text/string_table.h"
#include "text/text_language.h"
#include "ui/dialog_template.h"
#include "ui/logic/control_value.h"
#include "ui/logic/upgrade_dlg_logic_job.h"
#include "upgrade/reply_receiver.h"
#include "upgrade/upgrade_worker.h"

#include <string>

namespace orvane {

UpgradeDlgLogic::UpgradeDlgLogic(const DialogLogicServices& services)
    : services_(services), view_(services.view) {}

UpgradeDlgLogic::~UpgradeDlgLogic() {
    // The job is told to give up first (it sends the AbortFrame), so that inputs it can no
    // longer read from the dialog after the shut-down are never used; its thread is joined
    // before the members go.
    if (worker_) {
        worker_->cancel();
    }
    view_.shutDownDialogThreadCalls();
    worker_.reset();
    receiver_.reset();
}

void UpgradeDlgLogic::OnInitDialog() {
    SetTextLanguage(1); // English, whatever the language flag says
    if (receiver_ == nullptr) {
        receiver_ = std::make_unique<ReplyReceiver>(services_.port, services_.flags, services_.clock);
    }
}

bool UpgradeDlgLogic::OnCommand(int id) {
    switch (id) {
    case IDC_FILE:
        OnSelectFile();
        break;
    case IDC_UPDATE_MAIN:
        OnUpdateMainBoard();
        break;
    case IDC_OPEN:
        OnOpenPort();
        break;
    case IDC_CLOSE:
        OnClosePort();
        break;
    case IDC_UPDATE_MOTOR:
        OnUpdateMotorBoard();
        break;
    case IDC_UPDATE_SPECIAL:
        OnUpdateSpecial();
        break;
    case ID_PACKAGE_TYPE2:
        PackageDeviceImage('2');
        break;
    case ID_PACKAGE_TYPE3:
        PackageDeviceImage('3');
        break;
    case ID_PACKAGE_TYPE1:
        PackageDeviceImage('1');
        break;
    case IDC_UBL:
        OnUblButton();
        break;
    case IDC_APP:
        OnAppButton();
        break;
    case IDC_PTZ_LEFT:
        OnPtzLeft();
        break;
    case IDC_PTZ_UP:
        OnPtzUp();
        break;
    case IDC_PTZ_DOWN:
        OnPtzDown();
        break;
    case IDC_PTZ_RIGHT:
        OnPtzRight();
        break;
    case IDC_PTZ_HOME:
        OnPtzHome();
        break;
    case IDC_PTZ_STOP:
        OnPtzStop();
        break;
    case IDC_PTZ_TELE:
        OnPtzTele();
        break;
    case IDC_PTZ_WIDE:
        OnPtzWide();
        break;
    case IDC_PTZ_NEAR:
        OnPtzNear();
        break;
    case IDC_PTZ_FAR:
        OnPtzFar();
        break;
    default:
        return false;
    }
    return true;
}

void UpgradeDlgLogic::OnOpenPort() {
    if (jobRunning()) {
        return; // the job owns the port until it ends
    }
    const int speed = controlValueOf(view_.controlText(IDC_BPS));
    m_portName = view_.controlText(IDC_PORT);
    const int opened = services_.port.openPort(m_portName, speed, parityNone, 8, oneStopBit);
    if (opened == 1) {
        view_.showMessage(std::string(loadText(IDS_OPEN_OK)));
        view_.enableControl(IDC_OPEN, false);
        view_.enableControl(IDC_CLOSE, true);
        return;
    }
    // Message 116 as it stands, then why and what the technician can do about it.
    const std::string why = openFailureMessage(m_portName, services_.port.lastError(), threadLanguage());
    view_.showMessage(std::string(loadText(IDS_OPEN_FAIL)) + "\n\n" + why);
    view_.enableControl(IDC_OPEN, true);
    view_.enableControl(IDC_CLOSE, false);
}

void UpgradeDlgLogic::OnClosePort() {
    if (jobRunning()) {
        return;
    }
    if (services_.port.closePort() != 0) {
        view_.showMessage(std::string(loadText(IDS_CLOSE_OK)));
        view_.enableControl(IDC_OPEN, true);
        view_.enableControl(IDC_CLOSE, false);
        return;
    }
    const std::string why = portCloseFailed(services_.port.lastError(), threadLanguage());
    view_.showMessage(std::string(loadText(IDS_CLOSE_FAIL)) + "\n\n" + why);
    view_.enableControl(IDC_OPEN, false);
    view_.enableControl(IDC_CLOSE, true);
}

void UpgradeDlgLogic::showLog(const std::string& text) {
    view_.setControlText(IDC_LOG, text);
}

bool UpgradeDlgLogic::mayEndDialog() {
    if (stoppingJob_) {
        return false; // already on its way out
    }
    if (jobRunning()) {
        // Ending now would leave the camera in its boot loader half flashed without a word.
        if (!view_.askYesNo(std::string(loadText(IDS_QUIT_DURING_JOB)))) {
            return false;
        }
        stopRunningJob();
    }
    return true;
}

void UpgradeDlgLogic::stopRunningJob() {
    worker_->cancel();
    // The job still needs the dialog thread for its last log lines, so wait with the message
    // loop running rather than blocking it.
    stoppingJob_ = true;
    view_.waitWithMessages([this] { return !worker_->running(); });
    worker_->wait();
    stoppingJob_ = false;
}

} // namespace orvane
