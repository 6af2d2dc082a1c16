// The termios settings of the transparent line, from a cooked terminal's settings.
#include "serial/raw_line_posix.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

// What a freshly opened terminal often holds: line editing, echo, CR/LF mapping, XON/XOFF,
// seven data bits with even parity, and a speed of 0 (hung up).
termios cookedSettings() {
    termios settings{};
    settings.c_iflag = ICRNL | IXON | IXOFF | ISTRIP | INPCK | BRKINT | IMAXBEL;
    settings.c_oflag = OPOST | ONLCR;
    settings.c_lflag = ICANON | ECHO | ECHOE | ECHOK | ISIG | IEXTEN | ECHOCTL | ECHOKE;
    settings.c_cflag = CS7 | PARENB | HUPCL | CRTSCTS;
    ::cfsetospeed(&settings, B0);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 5;
    return settings;
}

struct LineCase {
    int parity;
    int byteSize;
    int stopBits;
    tcflag_t expected; // of CSIZE | PARENB | PARODD | CMSPAR | CSTOPB
};

class TransparentLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(TransparentLine, IsRawWithTheChosenFraming) {
    const LineCase line = GetParam();
    termios settings = cookedSettings();
    makeTransparent(settings, line.parity, line.byteSize, line.stopBits);

    EXPECT_EQ(settings.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB), line.expected);
    EXPECT_EQ(settings.c_cflag & (CREAD | CLOCAL | CRTSCTS), static_cast<tcflag_t>(CREAD | CLOCAL));
    EXPECT_EQ(settings.c_iflag, 0u);
    EXPECT_EQ(settings.c_oflag & OPOST, 0u);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ECHOE | ECHOK | ISIG | IEXTEN), 0u);
    EXPECT_EQ(settings.c_cc[VMIN], 1);
    EXPECT_EQ(settings.c_cc[VTIME], 0);
    EXPECT_NE(::cfgetospeed(&settings), B0) << "writing these back would hang the line up";
}

INSTANTIATE_TEST_SUITE_P(
    Framing, TransparentLine,
    ::testing::Values(LineCase{0, 8, 0, CS8}, // what every caller uses
                      LineCase{1, 7, 2, CS7 | PARENB | PARODD | CSTOPB}, LineCase{2, 8, 0, CS8 | PARENB},
                      LineCase{3, 8, 0, CS8 | PARENB | PARODD | CMSPAR},
                      LineCase{4, 5, 1, CS5 | PARENB | CMSPAR | CSTOPB},
                      LineCase{5, 8, 0, CS8 | PARENB}, // parity out of range: kept (even)
                      LineCase{0, 9, 3, CS7}));        // size and stop bits out of range: kept

} // namespace
} // namespace orvane
