// Fuzzes the HEX merge, on buffers and on files. Half the inputs are raw bytes split into a
// UBL and an APP file; the other half are built record by record from the fuzzer's bytes
// (correct checksums, the shapes the merge wants, with occasional damage), so that the
// accepting path is reached as often as the refusing one. For every pair:
//  - no crash, and acceptance exactly when an independent reader finds both files well formed
//    and shaped as the merge needs (APP: leading extended linear address record, trailing
//    start linear address and end-of-file records), with no address filled by both or under
//    the fixed bytes at 0x0803CFFC;
//  - refused: no bytes, and on files no output file (an existing one keeps its bytes);
//  - accepted: exactly the layout of the CR LF forms (the UBL without its start address
//    records, the APP's first record only where the UBL ends under another base or one of its
//    records would wrap), the result re-validates, every data byte of both inputs sits at its
//    own address in the result, with 00 06 00 A5 at 0x0803CFFC, and its start addresses are
//    the APP's alone.
#include "fuzz/intel_hex_model.h"
#include "imagetools/hex_merge.h"
#include "imagetools/hex_records.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <fuzzer/FuzzedDataProvider.h>
#include <iterator>
#include <span>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace model = orvane::fuzzing;

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "HEX merge property broken: %s\n", what);
        std::abort();
    }
}

// Builds HEX text from fuzzer decisions.
class RecordWriter {
  public:
    explicit RecordWriter(FuzzedDataProvider& data) : data_(data) {}

    void record(std::uint8_t type, std::uint16_t address, const Bytes& payload) {
        static constexpr char upper[] = "0123456789ABCDEF";
        static constexpr char lower[] = "0123456789abcdef";
        const std::uint8_t knob = data_.ConsumeIntegral<std::uint8_t>();
        const char* digits = knob % 7 == 0 ? lower : upper;
        Bytes values{static_cast<std::uint8_t>(payload.size()), static_cast<std::uint8_t>(address >> 8),
                     static_cast<std::uint8_t>(address), type};
        values.insert(values.end(), payload.begin(), payload.end());
        unsigned sum = 0;
        for (std::uint8_t v : values)
            sum += v;
        values.push_back(static_cast<std::uint8_t>(-sum));
        std::string line = ":";
        for (std::uint8_t v : values) {
            line += digits[v >> 4];
            line += digits[v & 15];
        }
        // Now and then a damaged line: wrong checksum, LF alone, a stray character, no line end.
        switch (knob) {
        case 250:
            line.back() = line.back() == '0' ? '1' : '0';
            line += "\r\n";
            break;
        case 251:
            line += "\n";
            break;
        case 252:
            line.insert(line.size() / 2, "G");
            line += "\r\n";
            break;
        case 253:
            break;
        case 254:
            line += "\r\n\r\n";
            break;
        default:
            line += "\r\n";
            break;
        }
        text_.insert(text_.end(), line.begin(), line.end());
    }
    void addressBase(std::uint16_t upper) {
        record(0x04, 0, {static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper)});
        base_ = std::uint32_t{upper} << 16;
    }
    // A few records of any kind, mostly data.
    void body() {
        const auto count = data_.ConsumeIntegralInRange<int>(0, 10);
        for (int i = 0; i < count; ++i) {
            const auto kind = data_.ConsumeIntegralInRange<int>(0, 9);
            const auto address = data_.ConsumeIntegral<std::uint16_t>();
            if (kind <= 5) {
                record(0x00, address,
                       data_.ConsumeBytes<std::uint8_t>(data_.ConsumeIntegralInRange<std::size_t>(0, 20)));
            } else if (kind == 6) {
                addressBase(data_.ConsumeBool() ? 0x0803 : data_.ConsumeIntegral<std::uint16_t>());
            } else if (kind == 7) {
                const auto segment = data_.ConsumeIntegral<std::uint16_t>();
                record(0x02, 0,
                       {static_cast<std::uint8_t>(segment >> 8), static_cast<std::uint8_t>(segment)});
                base_ = std::uint32_t{segment} << 4;
            } else {
                record(static_cast<std::uint8_t>(kind == 8 ? 0x03 : data_.ConsumeIntegralInRange<int>(0, 7)),
                       0, data_.ConsumeBytes<std::uint8_t>(4));
            }
        }
    }
    void endOfFile() { record(0x01, 0, {}); }
    std::uint32_t base() const { return base_; }
    Bytes take() { return std::move(text_); }

  private:
    FuzzedDataProvider& data_;
    Bytes text_;
    std::uint32_t base_ = 0;
};

void buildPair(FuzzedDataProvider& data, Bytes& ubl, Bytes& app) {
    RecordWriter u(data);
    if (data.ConsumeBool())
        u.addressBase(0x0800);
    u.body();
    if (data.ConsumeIntegral<std::uint8_t>() != 0)
        u.endOfFile();
    const std::uint32_t ublBase = u.base();
    ubl = u.take();

    RecordWriter a(data);
    const std::uint8_t shape = data.ConsumeIntegral<std::uint8_t>();
    if (shape != 1)
        a.addressBase(shape < 200 ? static_cast<std::uint16_t>(ublBase >> 16)
                                  : data.ConsumeIntegral<std::uint16_t>());
    a.body();
    if (shape != 2)
        a.record(0x05, 0, data.ConsumeBytes<std::uint8_t>(4));
    if (shape != 3)
        a.endOfFile();
    app = a.take();
}

// What the merge must decide, from the independent reader alone.
bool shouldAccept(const Bytes& ubl, const Bytes& app) {
    const auto u = model::readHex(ubl);
    const auto a = model::readHex(app);
    if (!u || !a || model::crlfForm(ubl).size() < 15 || model::crlfForm(app).size() < 49 || a->size() < 3)
        return false;
    if (a->front().type != 0x04 || (*a)[a->size() - 2].type != 0x05)
        return false;
    const auto ublMemory = model::memoryOf(*u);
    const auto appMemory = model::memoryOf(*a);
    for (const auto* memory : {&ublMemory, &appMemory}) {
        const auto fixed = memory->lower_bound(0x0803CFFC);
        if (fixed != memory->end() && fixed->first < 0x0803D000)
            return false;
    }
    for (const auto& entry : appMemory) {
        if (ublMemory.count(entry.first) != 0)
            return false;
    }
    return true;
}

// The lines of a CR LF file, each with its line end.
std::vector<Bytes> linesOf(const Bytes& crlf) {
    std::vector<Bytes> lines;
    auto start = crlf.begin();
    for (auto at = crlf.begin(); at != crlf.end(); ++at) {
        if (*at == '\n') {
            lines.emplace_back(start, at + 1);
            start = at + 1;
        }
    }
    return lines;
}

bool isStartAddress(const Bytes& line) {
    return line[7] == '0' && (line[8] == '3' || line[8] == '5');
}

Bytes layoutOf(const Bytes& ublAsGiven, const Bytes& appAsGiven) {
    const std::vector<Bytes> ubl = linesOf(model::crlfForm(ublAsGiven));
    const std::vector<Bytes> app = linesOf(model::crlfForm(appAsGiven));
    const auto u = *model::readHex(ublAsGiven);
    const auto a = *model::readHex(appAsGiven);
    // The APP's first record goes only where the UBL ends under its base and no record would
    // wrap under a segment base of it.
    const bool dropFirst = (model::valueOf(a.front()) << 16) == model::baseAfter(u) &&
                           !(model::segmentBaseAfter(u) && model::firstBaseRunsPastSegment(a));
    Bytes out;
    for (std::size_t i = 0; i + 1 < ubl.size(); ++i) {
        if (!isStartAddress(ubl[i]))
            out.insert(out.end(), ubl[i].begin(), ubl[i].end());
    }
    for (std::size_t i = dropFirst ? 1 : 0; i + 2 < app.size(); ++i)
        out.insert(out.end(), app[i].begin(), app[i].end());
    out.insert(out.end(), orvane::MarkerAddressRecord.begin(), orvane::MarkerAddressRecord.end());
    out.insert(out.end(), orvane::MarkerDataRecord.begin(), orvane::MarkerDataRecord.end());
    for (std::size_t i = app.size() - 2; i < app.size(); ++i)
        out.insert(out.end(), app[i].begin(), app[i].end());
    return out;
}

void checkAddresses(const Bytes& ubl, const Bytes& app, const Bytes& merged) {
    const auto mergedRecords = model::readHex(merged);
    check(mergedRecords.has_value(), "accepted output does not re-validate (independent reader)");
    // The UBL's start addresses are left out: the output has the APP's, no more.
    const auto startsIn = [](const std::vector<model::ModelRecord>& records) {
        std::size_t starts = 0;
        for (const auto& record : records)
            starts += record.type == 0x03 || record.type == 0x05 ? 1 : 0;
        return starts;
    };
    check(startsIn(*mergedRecords) == startsIn(*model::readHex(app)),
          "the output's start addresses are not the APP's");
    const auto memory = model::memoryOf(*mergedRecords);
    const auto ublMemory = model::memoryOf(*model::readHex(ubl));
    const auto appMemory = model::memoryOf(*model::readHex(app));
    constexpr std::uint32_t marker = 0x0803CFFC;
    const std::array<std::uint8_t, 4> markerBytes{0x00, 0x06, 0x00, 0xA5};
    const auto isMarker = [](std::uint32_t address) { return address - marker < 4; };
    for (std::uint32_t i = 0; i < 4; ++i) {
        const auto found = memory.find(marker + i);
        check(found != memory.end() && found->second == markerBytes[i], "marker bytes missing at 0x0803CFFC");
    }
    for (const auto& [address, value] : appMemory) {
        if (isMarker(address))
            continue;
        const auto found = memory.find(address);
        check(found != memory.end() && found->second == value, "an APP data byte moved or changed");
    }
    for (const auto& [address, value] : ublMemory) {
        if (isMarker(address) || appMemory.count(address) != 0)
            continue;
        const auto found = memory.find(address);
        check(found != memory.end() && found->second == value, "a UBL data byte moved or changed");
    }
    for (const auto& entry : memory) {
        const std::uint32_t address = entry.first;
        check(isMarker(address) || ublMemory.count(address) != 0 || appMemory.count(address) != 0,
              "the output holds a byte neither input has");
    }
}

// The file operation: same decision, nothing written on refusal, the buffer's bytes on success.
struct Scratch {
    std::filesystem::path folder;
    // In memory where the machine offers it: the writer flushes every file to the disk.
    Scratch() {
        const char* root = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string name = std::string(root) + "/orvane-hexfuzz-XXXXXX";
        if (::mkdtemp(name.data()) == nullptr)
            std::abort();
        folder = name;
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

Bytes readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeAll(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void checkFiles(const Bytes& ubl, const Bytes& app, const orvane::HexMergeResult& merged) {
    static const Scratch scratch;
    const auto ublPath = scratch.folder / "ubl.hex";
    const auto appPath = scratch.folder / "app.hex";
    const auto outPath = scratch.folder / "appall.hex";
    writeAll(ublPath, ubl);
    writeAll(appPath, app);
    const Bytes earlier{'k', 'e', 'e', 'p', '\r', '\n'};
    writeAll(outPath, earlier);

    const orvane::MergeOutcome outcome = orvane::MergeHexFiles({ublPath.string(), appPath.string(), {}});
    check(outcome.outputPath == outPath.string(), "output not beside the APP file as appall.hex");
    check(outcome.written == !merged.problem.has_value(), "file merge and buffer merge decide differently");
    check(outcome.written == outcome.error.empty(), "written and error disagree");
    const Bytes now = readAll(outPath);
    if (outcome.written) {
        check(now == merged.bytes, "written file differs from the merged bytes");
    } else {
        check(now == earlier, "a refused merge touched the existing output");
        check(!outcome.logText.empty() && outcome.logText.ends_with("\r\n"),
              "a refusal without its log line");
    }
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(scratch.folder))
        ++entries;
    check(entries == 3, "the merge left a stray file behind");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    FuzzedDataProvider data(input, size);
    Bytes ubl;
    Bytes app;
    if (data.ConsumeBool()) {
        const auto split = data.ConsumeIntegralInRange<std::size_t>(0, data.remaining_bytes());
        ubl = data.ConsumeBytes<std::uint8_t>(split);
        app = data.ConsumeRemainingBytes<std::uint8_t>();
    } else {
        buildPair(data, ubl, app);
    }

    const orvane::HexMergeResult merged = orvane::mergeHexImages(ubl, app);
    const bool accepted = !merged.problem.has_value();
    check(accepted == shouldAccept(ubl, app), "merge decision differs from the independent reader");
    if (!accepted) {
        check(merged.bytes.empty(), "a refused merge produced bytes");
        check(merged.problem->problem.line >= 1 && !merged.problem->problem.what.empty(),
              "refusal without line or reason");
    } else {
        check(merged.bytes == layoutOf(ubl, app), "merged bytes differ from the splice layout");
        orvane::HexFileSummary summary;
        check(!orvane::scanHexFile(merged.bytes, summary).has_value(),
              "accepted output does not re-validate");
        checkAddresses(ubl, app, merged.bytes);
    }
    checkFiles(ubl, app, merged);
    return 0;
}
