// Bars that stay on one row of the terminal whatever its width and the port names.
#include "output/bar_layout.h"
#include "output/line_wrap.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

const ProgressBarState halfway{50, 16, 32, 11200.0, 3.0};
const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0";

TEST(BarLayout, EveryLineFitsOneRowAndKeepsWhatTellsCamerasApart) {
    for (const std::string& label : {std::string(), std::string("ttyUSB0"), byId, std::string("串口一号")}) {
        for (std::size_t columns = 20; columns <= 200; columns += 3) {
            const std::string line =
                fittedBarLine(label, halfway, "block 2 refused, sending again (3)", columns);
            ASSERT_LT(displayColumns(line), columns) << columns << " columns: " << line;
            if (columns >= 60) {
                EXPECT_NE(line.find(" 50%"), std::string::npos) << line;
            }
            if (columns >= 80) {
                EXPECT_NE(line.find(label.substr(label.size() > 5 ? label.size() - 5 : 0)), std::string::npos)
                    << "the end of the port name: " << line;
            }
        }
    }
}

TEST(BarLayout, ShortensInTheMiddleByColumns) {
    EXPECT_EQ(middleShortened("ttyUSB0", 7), "ttyUSB0");
    EXPECT_EQ(middleShortened(byId, 21), "/dev/seri...f00-port0");
    EXPECT_EQ(middleShortened("摄像机串口适配器", 9), "摄...器") << "wide characters stay whole";
    EXPECT_EQ(displayColumns("固件.bin"), 8U);
    EXPECT_EQ(startWithin("等待中 ttyUSB0", 5), "等待") << "a line cut for the station's view";
}

// Folded, not cut: every row fits, and the rows read back as the line (but the spaces folded on).
TEST(LineWrap, EveryRowFitsAndNothingIsLost) {
    const std::string lines[] = {
        byId +
            ": failed (Block 2 of 64 unanswered for 10 s: the camera stopped answering; check the cable) | "
            "succeeded 0, not succeeded 1, yield 0.0 %",
        "串口一号: failed (第 2 块（共 64 块）10 秒未应答：摄像机停止应答；请检查线缆和电源) | 成功 "
        "0，未成功 1，良率 0.0 %",
        "Station ready: /tmp/" + std::string(90, 'x') + "/fw.bin, 3000 bytes"};
    const auto squeezed = [](std::string text) {
        std::erase(text, ' ');
        return text;
    };
    for (const std::string& line : lines) {
        for (std::size_t columns = 20; columns <= 140; columns += 7) {
            const std::vector<std::string> rows = wrappedLines(line, columns);
            std::string joined;
            for (const std::string& row : rows) {
                EXPECT_LT(displayColumns(row), columns) << columns << ": " << row;
                joined += row;
            }
            EXPECT_EQ(squeezed(joined), squeezed(line)) << columns;
            EXPECT_EQ(rows.size() == 1, displayColumns(line) < columns) << columns;
        }
    }
}

TEST(BarLayout, BarsFitWithARowToSpare) {
    EXPECT_TRUE(barsFit(3, {80, 4}));
    EXPECT_FALSE(barsFit(4, {80, 4}));
    EXPECT_FALSE(barsFit(1, {12, 24}));
}

} // namespace
} // namespace orvane
