// The approved list's lines, read strictly: a line that cannot be read is an error naming its
// number, never skipped, since a skipped line would refuse an image the site meant to allow or
// drop the board it was allowed for.
#include "imagetools/approved_images.h"

#include "imagetools/file_status.h"
#include "imagetools/readable_file.h"
#include "text/string_table.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace orvane {
namespace {

constexpr std::array boards{std::string_view("main"), std::string_view("motor"), std::string_view("special")};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string lowerHex(std::string_view digits) {
    std::string out(digits);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c; });
    return out;
}

bool isDigest(std::string_view text) {
    return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
           });
}

// Edits (insert, delete, change, swap two neighbours) that turn a into b; just limit + 1 when
// the lengths alone differ by more, so a long word is never compared letter by letter.
std::size_t editsBetween(std::string_view a, std::string_view b, std::size_t limit) {
    if ((a.size() > b.size() ? a.size() - b.size() : b.size() - a.size()) > limit) {
        return limit + 1;
    }
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) {
        for (std::size_t j = 0; j <= b.size(); ++j) {
            if (i == 0 || j == 0) {
                d[i][j] = i + j;
                continue;
            }
            const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [&](char x, char y) { return lower(x) == lower(y); });
}

// A last word a slip of the keyboard away from a board: taken as part of the name, it would
// allow the image for every board.
bool looksLikeBoard(std::string_view word) {
    return std::any_of(boards.begin(), boards.end(), [word](std::string_view board) {
        return editsBetween(word, board, 2) <= 2 || sameIgnoringCase(word, board);
    });
}

// One line's image, or the id of what is wrong with it (and the word in question).
struct LineReading {
    std::optional<ApprovedImage> image{};
    int problem = 0;
    std::string word{};
};

LineReading readLine(std::string_view line) {
    // sha256sum puts two characters between digest and name: a space, then a space (text
    // mode) or an asterisk (binary mode).
    if (line.size() < 66 || !isDigest(line.substr(0, 64)) || line[64] != ' ' ||
        (line[65] != ' ' && line[65] != '*')) {
        return {.problem = IDS_APPROVED_NO_DIGEST};
    }
    ApprovedImage image{.sha256 = lowerHex(line.substr(0, 64))};
    std::string_view rest = line.substr(66);
    while (!rest.empty() && isBlank(rest.back())) {
        rest.remove_suffix(1);
    }
    // A last word that names a board is the board column. Names may hold single spaces, so
    // another last word is part of the name unless wider blanks set it apart as a column: then
    // it must name a board, or a typing error would quietly allow the image for every board.
    const auto cut = std::find_if(rest.rbegin(), rest.rend(), isBlank);
    if (cut != rest.rend()) {
        const std::size_t at = static_cast<std::size_t>(rest.rend() - cut);
        const std::string_view word = rest.substr(at);
        std::string_view name = rest.substr(0, at);
        while (!name.empty() && isBlank(name.back())) {
            name.remove_suffix(1);
        }
        const bool column = at - name.size() > 1 || rest[at - 1] == '\t';
        if (std::find(boards.begin(), boards.end(), word) != boards.end()) {
            image.target = word;
            rest = name;
        } else if (column) {
            return {.problem = IDS_APPROVED_BAD_TARGET, .word = std::string(word)};
        } else if (looksLikeBoard(word)) {
            return {.problem = IDS_APPROVED_NEAR_TARGET, .word = std::string(word)};
        }
    }
    if (rest.empty()) {
        return {.problem = IDS_APPROVED_NO_NAME};
    }
    image.name = rest;
    return {.image = std::move(image)};
}

} // namespace

ApprovedImagesReading parseApprovedImages(std::string_view text, const std::string& source,
                                          TextLanguage language) {
    ApprovedImagesReading reading;
    reading.list.source = source;
    // Windows editors save UTF-8 with a byte-order mark; it would spoil the first digest.
    constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(byteOrderMark)) {
        text.remove_prefix(byteOrderMark.size());
    }
    int number = 0;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (std::all_of(line.begin(), line.end(), isBlank) || line.front() == '#') {
            continue;
        }
        LineReading read = readLine(line);
        if (read.image) {
            read.image->line = number;
            reading.list.images.push_back(std::move(*read.image));
            continue;
        }
        const std::string what = fillText(textOf(read.problem, language), {read.word});
        reading.problems.push_back(
            fillText(textOf(IDS_APPROVED_BAD_LINE, language), {source, std::to_string(number), what}));
    }
    if (reading.problems.empty() && reading.list.images.empty()) {
        reading.problems.push_back(fillText(textOf(IDS_APPROVED_EMPTY, language), {source}));
    }
    return reading;
}

ApprovedImagesReading readApprovedImages(const std::string& path, TextLanguage language) {
    ApprovedImagesReading failed;
    failed.list.source = path;
    FileStatus status;
    std::optional<ReadableFile> file = ReadableFile::open(path, status);
    // A list of digests is a few kilobytes; a huge file is the wrong file, and read whole it
    // would take the memory it is large.
    if (file && file->size() > largestApprovedList) {
        failed.problems.push_back(fillText(textOf(IDS_APPROVED_TOO_LARGE, language), {path}));
        return failed;
    }
    std::string text;
    if (file) {
        text.resize(static_cast<std::size_t>(file->size()));
        status = file->readAll({reinterpret_cast<std::uint8_t*>(text.data()), text.size()});
    }
    if (!status.ok) {
        failed.problems.push_back(fillText(textOf(IDS_FILE_UNREADABLE, language), {path, status.reason}));
        return failed;
    }
    return parseApprovedImages(text, path, language);
}

std::optional<std::string> approvalRefusal(const ApprovedImages& approved, std::string_view sha256,
                                           std::string_view target, std::string_view imageName,
                                           TextLanguage language) {
    const std::string digest = lowerHex(sha256);
    std::string otherBoards;
    const ApprovedImage* firstOther = nullptr;
    for (const ApprovedImage& image : approved.images) {
        if (image.sha256 != digest) {
            continue;
        }
        if (image.target.empty() || image.target == target) {
            return std::nullopt;
        }
        if (otherBoards.find(image.target) == std::string::npos) {
            otherBoards += (otherBoards.empty() ? "" : ", ") + image.target;
        }
        firstOther = firstOther != nullptr ? firstOther : &image;
    }
    if (firstOther == nullptr) {
        return fillText(textOf(IDS_APPROVED_NOT_LISTED, language), {imageName, digest, approved.source});
    }
    return fillText(
        textOf(IDS_APPROVED_OTHER_TARGET, language),
        {imageName, digest, otherBoards, approved.source, std::to_string(firstOther->line), target});
}

} // namespace orvane
