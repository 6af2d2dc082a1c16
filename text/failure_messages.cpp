#include "text/failure_messages.h"

#include "platform/error_text.h"
#include "text/string_table.h"

#include <cerrno>

namespace orvane {

bool isPermissionError(int err) {
    return err == EACCES || err == EPERM;
}

std::string portFailureReason(int err, TextLanguage language) {
    if (err == 0) {
        return std::string(textOf(IDS_REASON_NO_ERROR, language));
    }
    if (isPermissionError(err)) {
        return std::string(textOf(IDS_REASON_PERMISSION, language));
    }
    switch (err) {
    case EBUSY:
    case EWOULDBLOCK:
        return std::string(textOf(IDS_REASON_PORT_BUSY, language));
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return std::string(textOf(IDS_REASON_NO_DEVICE, language));
    case ENOTTY:
        return std::string(textOf(IDS_REASON_NOT_A_PORT, language));
    case EIO:
        return std::string(textOf(IDS_REASON_PORT_IO, language));
    case ENOTSUP:
        return std::string(textOf(IDS_REASON_SETTINGS_REFUSED, language));
    default:
        return systemErrorText(err);
    }
}

std::string portOpenFailed(std::string_view port, int err, TextLanguage language, std::string_view busyHint) {
    if (isPermissionError(err)) {
        return portPermissionDenied(port, PermissionAdvice::JoinGroup, {"", "dialout", ""}, language);
    }
    const bool busy = err == EBUSY || err == EWOULDBLOCK;
    const std::string reason =
        busy && !busyHint.empty() ? std::string(busyHint) : portFailureReason(err, language);
    return fillText(textOf(IDS_PORT_OPEN_FAILED, language), {port, reason});
}

std::string portPermissionDenied(std::string_view port, PermissionAdvice advice,
                                 const DeviceOwnership& device, TextLanguage language) {
    switch (advice) {
    case PermissionAdvice::JoinGroup:
        break;
    case PermissionAdvice::LogInAgain:
        return fillText(textOf(IDS_PORT_PERMISSION_RELOGIN, language), {port, device.group});
    case PermissionAdvice::OwnerOnly:
        return fillText(textOf(IDS_PORT_PERMISSION_OWNER, language),
                        {port, device.owner, device.group, device.mode});
    }
    return fillText(textOf(IDS_PORT_PERMISSION, language), {port, device.group});
}

std::string portCloseFailed(int err, TextLanguage language) {
    return fillText(textOf(IDS_PORT_CLOSE_FAILED, language), {portFailureReason(err, language)});
}

std::string fileUnreadable(std::string_view path, std::string_view reason, TextLanguage language) {
    return fillText(textOf(IDS_FILE_UNREADABLE, language), {path, reason});
}

std::string fileUnwritable(std::string_view path, std::string_view reason, TextLanguage language) {
    return fillText(textOf(IDS_FILE_UNWRITABLE, language), {path, reason});
}

} // namespace orvane
