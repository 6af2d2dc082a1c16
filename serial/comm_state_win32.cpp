#include "serial/comm_state_win32.h"

#include "serial/port_timing.h"

namespace orvane {

void makeTransparent(DCB& settings, int baudRate, int parity, int byteSize, int stopBits) {
    settings.fBinary = TRUE;
    settings.fParity = FALSE;
    settings.fOutxCtsFlow = FALSE;
    settings.fOutxDsrFlow = FALSE;
    settings.fDsrSensitivity = FALSE;
    settings.fOutX = FALSE;
    settings.fInX = FALSE;
    settings.fErrorChar = FALSE;
    settings.fNull = FALSE;
    settings.fAbortOnError = FALSE;
    // Windows keeps a port's settings between opens: the modem lines as an open on Linux
    // leaves them (DTR and RTS raised, no handshake), whatever the last program set; an RS-485
    // converter left on RTS handshaking would otherwise switch with the driver's buffer.
    settings.fDtrControl = DTR_CONTROL_ENABLE;
    settings.fRtsControl = RTS_CONTROL_ENABLE;
    settings.fTXContinueOnXoff = TRUE;
    settings.XonChar = 0x11; // unused with XON/XOFF off, but equal ones are refused
    settings.XoffChar = 0x13;
    settings.EofChar = 0;
    settings.EvtChar = 0;

    if (baudRate > 0) {
        settings.BaudRate = static_cast<DWORD>(baudRate);
    }
    if (parity >= 0 && parity <= 4) {
        settings.Parity = static_cast<BYTE>(parity); // NOPARITY .. SPACEPARITY
    }
    if (byteSize >= 5 && byteSize <= 8) {
        settings.ByteSize = static_cast<BYTE>(byteSize);
    }
    if (stopBits >= 0 && stopBits <= 2) {
        settings.StopBits = static_cast<BYTE>(stopBits); // ONESTOPBIT .. TWOSTOPBITS
    }
}

COMMTIMEOUTS portTimeouts() {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = static_cast<DWORD>(readIntervalTimeout.count());
    timeouts.ReadTotalTimeoutMultiplier = static_cast<DWORD>(readTotalTimeoutMultiplier.count());
    timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(readTotalTimeoutConstant.count());
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    return timeouts;
}

bool speedTaken(int asked, DWORD reported) {
    if (asked <= 0) {
        return true;
    }
    const auto difference = static_cast<long long>(reported) - asked;
    return (difference < 0 ? -difference : difference) * 50 <= asked;
}

} // namespace orvane
