// The Win32 line settings: whatever another program left on the port, the line is eight-bit
// transparent afterwards, the caller's four settings are in, DTR and RTS raised without any
// handshake (an RS-485 converter left on RTS handshaking switches no more); a
// speed the driver did not take is told apart from one it rounded.
#include "serial/comm_state_win32.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

DCB leftByAnotherProgram() {
    DCB left{};
    left.DCBlength = sizeof left;
    left.BaudRate = 38400;
    left.ByteSize = 7;
    left.Parity = EVENPARITY;
    left.StopBits = TWOSTOPBITS;
    left.fOutX = TRUE; // XON/XOFF both ways: 0x11 and 0x13 of the image would vanish
    left.fInX = TRUE;
    left.fOutxCtsFlow = TRUE;
    left.fOutxDsrFlow = TRUE;
    left.fDsrSensitivity = TRUE;
    left.fErrorChar = TRUE;
    left.ErrorChar = '?';
    left.fNull = TRUE; // 0x00 of the image would vanish
    left.fParity = TRUE;
    left.fAbortOnError = TRUE;
    left.fDtrControl = DTR_CONTROL_DISABLE;
    left.fRtsControl = RTS_CONTROL_HANDSHAKE;
    left.EofChar = 0x1A;
    left.EvtChar = 0x0D;
    left.XonChar = left.XoffChar = 0;
    return left;
}

struct SettingsCase {
    const char* name;
    int baud, parity, byteSize, stopBits;
    DWORD wantBaud;
    BYTE wantParity, wantByteSize, wantStopBits;
};

class MakeTransparent : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(MakeTransparent, ClearsWhatAltersBytesAndSetsTheLine) {
    const SettingsCase& c = GetParam();
    DCB settings = leftByAnotherProgram();
    makeTransparent(settings, c.baud, c.parity, c.byteSize, c.stopBits);

    EXPECT_TRUE(settings.fBinary);
    for (const DWORD flag :
         std::initializer_list<DWORD>{settings.fOutX, settings.fInX, settings.fOutxCtsFlow,
                                      settings.fOutxDsrFlow, settings.fDsrSensitivity, settings.fErrorChar,
                                      settings.fNull, settings.fParity, settings.fAbortOnError}) {
        EXPECT_FALSE(flag);
    }
    EXPECT_EQ(settings.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(settings.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
    EXPECT_NE(settings.XonChar, settings.XoffChar);
    EXPECT_EQ(settings.EofChar, 0);
    EXPECT_EQ(settings.EvtChar, 0);
    EXPECT_EQ(settings.BaudRate, c.wantBaud);
    EXPECT_EQ(settings.Parity, c.wantParity);
    EXPECT_EQ(settings.ByteSize, c.wantByteSize);
    EXPECT_EQ(settings.StopBits, c.wantStopBits);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Settings, MakeTransparent, ::testing::Values(
    SettingsCase{"EightNoneOne", 115200, 0, 8, 0, 115200, NOPARITY, 8, ONESTOPBIT},
    SettingsCase{"SpaceParityFiveBitsOneAndAHalf", 9600, 4, 5, 1, 9600, SPACEPARITY, 5, ONE5STOPBITS},
    // Out of range: the port's own value stays, a speed of 0 never reaches the driver.
    SettingsCase{"OutOfRangeKeepsThePorts", 0, 5, 9, 3, 38400, EVENPARITY, 7, TWOSTOPBITS},
    SettingsCase{"NegativeKeepsThePorts", -1, -1, 4, -1, 38400, EVENPARITY, 7, TWOSTOPBITS}),
    [](const auto& test) { return std::string(test.param.name); });
// clang-format on

TEST(PortTimeouts, ReadLimitsAsTheReceiverNeeds) {
    const COMMTIMEOUTS timeouts = portTimeouts();
    EXPECT_EQ(timeouts.ReadIntervalTimeout, 100u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 1u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 500u);
}

// A driver that rounds to its divisor has taken the speed; one that kept another has not
// (Wine runs 14400 at 38400 and reports so).
TEST(SpeedTaken, WithinWhatBothEndsStillFrame) {
    EXPECT_TRUE(speedTaken(115200, 115200));
    EXPECT_TRUE(speedTaken(115200, 115384)); // an FTDI divisor's rounding, 0.16 %
    EXPECT_TRUE(speedTaken(9600, 9792));     // 2 %
    EXPECT_FALSE(speedTaken(9600, 9793));
    EXPECT_FALSE(speedTaken(14400, 38400));
    EXPECT_FALSE(speedTaken(115200, 9600)); // the last program's speed, kept
    EXPECT_TRUE(speedTaken(0, 38400));      // no speed asked: the port's own stays
}

} // namespace
} // namespace orvane
