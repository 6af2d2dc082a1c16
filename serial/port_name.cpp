// Port name to device path; see port_name.h for the rules.
#include "serial/port_name.h"

#include <charconv>
#include <filesystem>
#include <system_error>

namespace orvane {
namespace {

constexpr std::string_view devDirectory = "/dev/";
constexpr std::string_view windowsDevicePrefix = "\\\\.\\";
constexpr unsigned highestComNumber = 256;

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view blanks = " \t\r\n";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

bool hasControlCharacter(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return true;
    }
    return false;
}

// "COM", "com3", "Com12": the Windows port names. "comedi0" is a bare name like any other.
bool isComName(std::string_view name) {
    if (name.size() < 3)
        return false;
    auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
    if (upper(name[0]) != 'C' || upper(name[1]) != 'O' || upper(name[2]) != 'M')
        return false;
    return name.size() == 3 || (name[3] >= '0' && name[3] <= '9');
}

// "3" -> 3; 0 when the text is not a plain decimal 1..256 without a leading zero.
unsigned comNumberOf(std::string_view digits) {
    if (digits.empty() || digits.front() == '0')
        return 0;
    unsigned number = 0;
    const auto* end = digits.data() + digits.size();
    const auto result = std::from_chars(digits.data(), end, number);
    if (result.ec != std::errc{} || result.ptr != end || number > highestComNumber)
        return 0;
    return number;
}

// Each component of a relative name must be a real name: no "", "." or "..".
bool isSafeRelativeName(std::string_view name) {
    while (true) {
        const auto slash = name.find('/');
        const auto component = name.substr(0, slash);
        if (component.empty() || component == "." || component == "..")
            return false;
        if (slash == std::string_view::npos)
            return true;
        name.remove_prefix(slash + 1);
    }
}

} // namespace

std::string windowsDevicePathOf(std::string_view portName) {
    std::string_view name = trimmed(portName);
    if (name.starts_with(windowsDevicePrefix)) {
        name.remove_prefix(windowsDevicePrefix.size());
    }
    if (name.empty() || hasControlCharacter(name) || name.find_first_of("/\\") != std::string_view::npos) {
        return {};
    }
    return std::string(windowsDevicePrefix) + std::string(name);
}

std::string devicePathOf(std::string_view portName) {
    std::string_view name = trimmed(portName);
    if (name.empty() || hasControlCharacter(name))
        return {};
    if (name.starts_with(windowsDevicePrefix))
        name.remove_prefix(windowsDevicePrefix.size());
    if (name.empty()) // the prefix alone names no device
        return {};

    if (name.front() == '/')
        return std::string(name);

    if (isComName(name)) {
        const unsigned number = comNumberOf(name.substr(3));
        if (number == 0)
            return {};
        return std::string(devDirectory) + "ttyS" + std::to_string(number - 1);
    }

    if (!isSafeRelativeName(name))
        return {};
    return std::string(devDirectory) + std::string(name);
}

std::string deviceNameOf(std::string_view portName) {
    std::error_code ignored;
    const std::filesystem::path path(devicePathOf(portName));
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ignored);
    return (resolved.empty() ? path : resolved).filename().string();
}

} // namespace orvane
