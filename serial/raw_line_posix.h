// Termios settings of the serial line: raw and eight-bit transparent, with the caller's data
// bits, parity and stop bits. Apart from the port so it can be checked without a device
// (pseudo-terminals force eight data bits and no parity whatever is asked).
#pragma once

#include <termios.h>

namespace orvane {

// Raw, eight-bit transparent: no echo, no line editing, no signals, no CR/LF or case
// translation, no XON/XOFF, no parity checking that could turn bytes into 0x00, receiver on,
// modem lines (DCD, CTS) ignored, reads by the byte. Then the caller's settings: parity 0 none,
// 1 odd, 2 even, 3 mark, 4 space; byteSize 5 to 8; stopBits 0 one, 1 one and a half (two in
// termios; a UART makes that one and a half at five data bits), 2 two. A value out of range
// keeps what settings held. A speed of B0 (hang up) is replaced by B9600, so writing the
// settings back can never drop the line.
void makeTransparent(termios& settings, int parity, int byteSize, int stopBits);

} // namespace orvane
