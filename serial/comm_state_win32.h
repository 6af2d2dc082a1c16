// The Win32 line settings of the serial port: eight-bit transparent, with the caller's speed,
// data bits, parity and stop bits. Apart from the port so it can be checked without a device.
#pragma once

#include <windows.h>

namespace orvane {

// Binary mode; no XON/XOFF in either direction, no CTS or DSR flow control, no DSR
// sensitivity, no error-character replacement, no NUL discarding, no parity checking and no
// abort of all transfers on a line error: another program may have left the port so, and each
// of these drops or alters bytes of the image (0x11, 0x13, 0x00) or stalls the line (after an
// abort every read and write fails until the errors are cleared). DTR and RTS are raised with
// no handshake, as an open on Linux leaves them, whatever the last program set (RTS
// handshaking or DTR off); the event and end-of-file characters are cleared. Then the caller's
// settings: speed (0 or less keeps the port's), parity 0 none, 1 odd, 2 even, 3 mark, 4 space;
// byteSize 5 to 8; stopBits 0 one, 1 one and a half, 2 two. A value out of range keeps what
// settings held.
void makeTransparent(DCB& settings, int baudRate, int parity, int byteSize, int stopBits);

// The read time-outs the reply receiver relies on (100 ms between bytes, 500 ms + 1 ms a
// byte in all), in either read mode: prompt reads take only what is queued, which no time-out
// holds back. Writes carry no time-out of the driver's: the port limits them itself, with the
// wire time at the port's speed added.
COMMTIMEOUTS portTimeouts();

// Whether the speed a driver reports after SetCommState is the one asked for (0 or less: the
// port's own was kept, so any). Within 2 %, what a UART's divisor may round to and both ends
// still frame bytes right; further off, the line runs at a speed nobody chose.
bool speedTaken(int asked, DWORD reported);

} // namespace orvane
