// Frame boundaries of the host's byte stream; see frame_reader.h for the rules.
#include "sim/frame_reader.h"

#include "upgrade/frames.h"

namespace orvane {
namespace {

constexpr std::uint8_t pelcoPStart = 0xA0;
constexpr std::uint8_t pelcoDStart = 0xFF;
constexpr std::size_t enterLength = 8;
constexpr std::size_t ptzLength = 7;
constexpr std::size_t shortLength = 5;
constexpr std::size_t headerLength = 11;
constexpr std::size_t blockLength = 4 + blockDataSize + 2;

enum class Fit : std::uint8_t { NotAFrame, NeedMore, Whole };

struct Candidate {
    Fit fit = Fit::NotAFrame;
    HostFrameKind kind = HostFrameKind::Unrecognised;
    std::size_t length = 0;
    bool intact = true;
};

std::uint8_t xorOf(const std::uint8_t* bytes, std::size_t count) {
    std::uint8_t check = 0;
    for (std::size_t i = 0; i < count; ++i) {
        check ^= bytes[i];
    }
    return check;
}

Candidate enterCandidate(const std::uint8_t* p, std::size_t avail) {
    // Fixed bytes are tested as soon as they are there, so noise after an 0xA0 is let go early.
    if ((avail > 2 && p[2] != 0x00) || (avail > 3 && p[3] != 0x57) || (avail > 5 && p[5] != 0x00) ||
        (avail > 6 && p[6] != frameEnd)) {
        return {};
    }
    if (avail < enterLength) {
        return {Fit::NeedMore, HostFrameKind::EnterUpgrade, enterLength};
    }
    if (xorOf(p, 7) != p[7]) {
        return {};
    }
    return {Fit::Whole, HostFrameKind::EnterUpgrade, enterLength};
}

Candidate ptzCandidate(const std::uint8_t* p, std::size_t avail) {
    if (avail < ptzLength) {
        return {Fit::NeedMore, HostFrameKind::Ptz, ptzLength};
    }
    unsigned sum = 0;
    for (std::size_t i = 1; i < 6; ++i) {
        sum += p[i];
    }
    if ((sum & 0xFFu) != p[6]) {
        return {};
    }
    return {Fit::Whole, HostFrameKind::Ptz, ptzLength};
}

Candidate upgradeCandidate(const std::uint8_t* p, std::size_t avail) {
    if (avail < 2) {
        return {Fit::NeedMore, HostFrameKind::Unrecognised, 2};
    }
    HostFrameKind kind{};
    std::size_t length = shortLength;
    switch (p[1]) {
    case 0xF6:
        kind = HostFrameKind::Start;
        break;
    case 0xF9:
        kind = HostFrameKind::Abort;
        break;
    case 0xFA:
        kind = HostFrameKind::End;
        break;
    case 0xF7:
        kind = HostFrameKind::Header;
        length = headerLength;
        break;
    case 0xF8:
        kind = HostFrameKind::Block;
        length = blockLength;
        break;
    default:
        return {};
    }
    if (avail < length) {
        return {Fit::NeedMore, kind, length};
    }
    if (kind == HostFrameKind::Block) {
        const bool intact = p[length - 1] == frameEnd && xorOf(p, length - 2) == p[length - 2];
        return {Fit::Whole, kind, length, intact};
    }
    if (p[length - 1] != frameEnd) {
        return {};
    }
    if (kind == HostFrameKind::Header) {
        const bool intact = p[8] == 0x0A && xorOf(p, 9) == p[9];
        return {Fit::Whole, kind, length, intact};
    }
    if (xorOf(p, 3) != p[3]) {
        return {};
    }
    return {Fit::Whole, kind, length};
}

Candidate candidateAt(const std::uint8_t* p, std::size_t avail) {
    switch (p[0]) {
    case pelcoPStart:
        return enterCandidate(p, avail);
    case pelcoDStart:
        return ptzCandidate(p, avail);
    case frameStart:
        return upgradeCandidate(p, avail);
    default:
        return {};
    }
}

} // namespace

FrameReader::FrameReader(std::chrono::milliseconds gap) : gap_(gap) {}

void FrameReader::feed(std::span<const std::uint8_t> bytes, SimTime now, std::vector<HostFrame>& out) {
    if (bytes.empty()) {
        return;
    }
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    lastByte_ = now;
    scan(now, false, out);
}

void FrameReader::expire(SimTime now, std::vector<HostFrame>& out) {
    if (!pending_.empty() && now - lastByte_ >= gap_) {
        scan(lastByte_, true, out);
    }
}

std::optional<SimTime> FrameReader::deadline() const {
    if (pending_.empty()) {
        return std::nullopt;
    }
    return lastByte_ + gap_;
}

void FrameReader::reset() {
    pending_.clear();
}

void FrameReader::scan(SimTime now, bool giveUp, std::vector<HostFrame>& out) {
    std::vector<std::uint8_t> loose;
    auto flushLoose = [&] {
        if (!loose.empty()) {
            out.push_back({HostFrameKind::Unrecognised, std::move(loose), now, true});
            loose.clear();
        }
    };
    auto emit = [&](HostFrameKind kind, std::size_t from, std::size_t length, bool intact) {
        flushLoose();
        const auto first = pending_.begin() + static_cast<std::ptrdiff_t>(from);
        out.push_back({kind, {first, first + static_cast<std::ptrdiff_t>(length)}, now, intact});
    };

    std::size_t pos = 0;
    while (pos < pending_.size()) {
        const std::size_t avail = pending_.size() - pos;
        const Candidate c = candidateAt(pending_.data() + pos, avail);
        if (c.fit == Fit::Whole) {
            emit(c.kind, pos, c.length, c.intact);
            pos += c.length;
            continue;
        }
        if (c.fit == Fit::NeedMore && !giveUp) {
            break;
        }
        if (c.fit == Fit::NeedMore && c.kind == HostFrameKind::Block) {
            // A cut-off block is still a block: the camera refuses it so the host sends it again.
            emit(c.kind, pos, avail, false);
            pos += avail;
            continue;
        }
        loose.push_back(pending_[pos]);
        ++pos;
    }
    flushLoose();
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pos));
}

} // namespace orvane
