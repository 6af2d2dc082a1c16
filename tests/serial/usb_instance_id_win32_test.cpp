#include "serial/usb_instance_id.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(UsbInstanceId, SerialWhereTheIdCarriesOne) {
    struct Case {
        const char* id;
        std::optional<std::string> serial;
    };
    for (const Case& c : {
             Case{"USB\\VID_0403&PID_6001\\A50285BI", "A50285BI"},
             Case{"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", "A50285BI"},
             Case{"FTDIBUS\\VID_0403+PID_6010+FT4XYZB\\0000", "FT4XYZ"},
             Case{"usb\\vid_2e8a&pid_000a\\E6614C311B4B5A2F", "E6614C311B4B5A2F"},
             Case{"USB\\VID_1A86&PID_7523\\5&2C3D0B5&0&2", std::nullopt},       // made up: no serial
             Case{"USB\\VID_2E8A&PID_000A&MI_00\\6&1B4B&0&0000", std::nullopt}, // an interface
             Case{"FTDIBUS\\VID_0403+PID_6001+\\0000", std::nullopt},
             Case{"ACPI\\PNP0501\\1", std::nullopt},
             Case{"USB\\", std::nullopt},
         }) {
        EXPECT_EQ(usbSerialOfInstanceId(c.id), c.serial) << c.id;
    }
}

} // namespace
} // namespace orvane
