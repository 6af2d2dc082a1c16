// Device names as the registry holds them (UTF-16, terminated or not, lists of several)
// reach the port list and `ports --long` as UTF-8, whatever the system's code page.
#include "platform/windows_text.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace orvane {
namespace {

std::vector<std::uint8_t> bytesOf(std::wstring_view text, std::size_t extraBytes = 0) {
    std::vector<std::uint8_t> bytes(text.size() * sizeof(wchar_t) + extraBytes, 0x41);
    std::memcpy(bytes.data(), text.data(), text.size() * sizeof(wchar_t));
    return bytes;
}

TEST(RegistryText, FirstTextInUtf8) {
    using namespace std::string_view_literals;
    EXPECT_EQ(registryText(bytesOf(L"Périphérique série USB (COM9)\0"sv)),
              "P\xC3\xA9riph\xC3\xA9rique s\xC3\xA9rie USB (COM9)");
    EXPECT_EQ(registryText(bytesOf(L"USB 串行设备 (COM3)"sv)),
              "USB \xE4\xB8\xB2\xE8\xA1\x8C\xE8\xAE\xBE\xE5\xA4\x87 (COM3)");
    EXPECT_EQ(registryText(bytesOf(L"USB\\VID_0403&PID_6001\0USB\\VID_0403\0\0"sv)),
              "USB\\VID_0403&PID_6001");
    EXPECT_EQ(registryText(bytesOf(L"COM12"sv, 1)), "COM12"); // an odd byte at the end is no character
    EXPECT_EQ(registryText({}), "");
}

} // namespace
} // namespace orvane
