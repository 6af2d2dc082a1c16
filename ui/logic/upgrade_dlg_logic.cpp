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

#include <array>
#include <string>

namespace orvane {

UpgradeDlgLogic::UpgradeDlgLogic(const DialogLogicServices& services)
    : services_(services), view_(services.view) {}

UpgradeDlgLogic::~UpgradeDlgLogic() {
    // The job is told to give up first (it sends the AbortFrame), so that inputs it can no
    // longer read from the dialog after the shut-down are never used; its thread is joined
    // before the members go.
    if (job_) {
        job_->cancel();
    }
    view_.shutDownDialogThreadCalls();
    job_.reset();
    receiver_.reset();
}

void UpgradeDlgLogic::OnInitDialog() {
    SetTextLanguage(1); // English, whatever the language flag says
    if (receiver_ == nullptr) {
        receiver_ = std::make_unique<ReplyReceiver>(services_.port, services_.flags, services_.clock);
    }
}

bool UpgradeDlgLogic::OnCommand(int id) {
    // The message map: a control's command and the handler it runs.
    using Handler = void (*)(UpgradeDlgLogic&);
    static constexpr std::array<std::pair<int, Handler>, 21> handlers{{
        {IDC_FILE, [](UpgradeDlgLogic& d) { d.OnSelectFile(); }},
        {IDC_UPDATE_MAIN, [](UpgradeDlgLogic& d) { d.OnUpdateMainBoard(); }},
        {IDC_OPEN, [](UpgradeDlgLogic& d) { d.OnOpenPort(); }},
        {IDC_CLOSE, [](UpgradeDlgLogic& d) { d.OnClosePort(); }},
        {IDC_UPDATE_MOTOR, [](UpgradeDlgLogic& d) { d.OnUpdateMotorBoard(); }},
        {IDC_UPDATE_SPECIAL, [](UpgradeDlgLogic& d) { d.OnUpdateSpecial(); }},
        {ID_PACKAGE_TYPE2, [](UpgradeDlgLogic& d) { d.PackageDeviceImage('2'); }},
        {ID_PACKAGE_TYPE3, [](UpgradeDlgLogic& d) { d.PackageDeviceImage('3'); }},
        {ID_PACKAGE_TYPE1, [](UpgradeDlgLogic& d) { d.PackageDeviceImage('1'); }},
        {IDC_UBL, [](UpgradeDlgLogic& d) { d.OnUblButton(); }},
        {IDC_APP, [](UpgradeDlgLogic& d) { d.OnAppButton(); }},
        {IDC_PTZ_LEFT, [](UpgradeDlgLogic& d) { d.OnPtzLeft(); }},
        {IDC_PTZ_UP, [](UpgradeDlgLogic& d) { d.OnPtzUp(); }},
        {IDC_PTZ_DOWN, [](UpgradeDlgLogic& d) { d.OnPtzDown(); }},
        {IDC_PTZ_RIGHT, [](UpgradeDlgLogic& d) { d.OnPtzRight(); }},
        {IDC_PTZ_HOME, [](UpgradeDlgLogic& d) { d.OnPtzHome(); }},
        {IDC_PTZ_STOP, [](UpgradeDlgLogic& d) { d.OnPtzStop(); }},
        {IDC_PTZ_TELE, [](UpgradeDlgLogic& d) { d.OnPtzTele(); }},
        {IDC_PTZ_WIDE, [](UpgradeDlgLogic& d) { d.OnPtzWide(); }},
        {IDC_PTZ_NEAR, [](UpgradeDlgLogic& d) { d.OnPtzNear(); }},
        {IDC_PTZ_FAR, [](UpgradeDlgLogic& d) { d.OnPtzFar(); }},
    }};
    for (const auto& [command, handler] : handlers) {
        if (command == id) {
            handler(*this);
            return true;
        }
    }
    return false;
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
        if (!view_.askYesNo(std::string(loadText(IDS_QUIT_DURING_JOB)), DefaultAnswer::Yes)) {
            return false;
        }
        stopRunningJob();
    }
    return true;
}

void UpgradeDlgLogic::stopRunningJob() {
    job_->cancel();
    // The job still needs the dialog thread for its last log lines, so wait with the message
    // loop running rather than blocking it.
    stoppingJob_ = true;
    view_.waitWithMessages([this] { return !job_->running(); });
    job_->finish();
    stoppingJob_ = false;
}

} // namespace orvane
