// The images a site allows on its cameras: a list of lines as sha256sum writes them
// ("SHA256  name", or "SHA256 *name" for binary mode), each optionally ending in the board it
// is meant for (main, motor or special). An upgrade with such a list refuses any other image
// before a port is opened, so a wrong or tampered file never reaches a camera.
#pragma once

#include "text/text_language.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

struct ApprovedImage {
    std::string sha256{}; // lower-case hexadecimal, 64 characters
    std::string name{};   // as listed, only to tell the technician which line matched
    std::string target{}; // "main", "motor", "special", or empty: any board
    int line = 0;         // 1-based, in the list
};

struct ApprovedImages {
    std::string source; // the list's file name, for messages
    std::vector<ApprovedImage> images;
};

struct ApprovedImagesReading {
    ApprovedImages list;
    // Empty when the list may be used; otherwise one message a bad line ("FILE line N: ..."),
    // or why the file could not be read or lists nothing.
    std::vector<std::string> problems;
};

// Reads the lines of text, named source in messages. Blank lines and lines starting with #
// are skipped; CRLF line ends are taken as LF; a digest may be in capitals; a UTF-8
// byte-order mark before the first line is skipped. A last word after a single blank that is
// within two typing errors of a board, or one in other capitals, is refused as a mistyped board.
ApprovedImagesReading parseApprovedImages(std::string_view text, const std::string& source,
                                          TextLanguage language);
// The largest list read: the port list's bound too.
inline constexpr std::uint64_t largestApprovedList = std::uint64_t{1} << 20;

// Reads the list from the file at path; a file larger than largestApprovedList is refused unread.
ApprovedImagesReading readApprovedImages(const std::string& path, TextLanguage language);

// Why the image named imageName, of digest sha256 (hexadecimal, either case), may not go to
// the board target ("main", "motor" or "special"): not in the list, or listed only for other
// boards. Nothing when it is approved.
std::optional<std::string> approvalRefusal(const ApprovedImages& approved, std::string_view sha256,
                                           std::string_view target, std::string_view imageName,
                                           TextLanguage language);

} // namespace orvane
