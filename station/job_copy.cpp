#include "station/job_copy.h"

#include "imagetools/sha256.h"
#include "imagetools/write_whole_file.h"

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

namespace orvane {
namespace {

std::string bytesOf(const std::filesystem::path& path, bool& read) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    read = !in.bad() && in.is_open();
    return bytes;
}

std::string pathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

nlohmann::json settingsJson(const ReleasedJob& job) {
    const JobSettings& settings = job.settings;
    return {{"job", job.name},
            {"version", job.version},
            {"image", job.image.path},
            {"bytes", job.image.bytes.size()},
            {"sha256", job.image.sha256},
            {"target", jobTargetName(settings.target)},
            {"address", settings.address},
            {"lineSpeed", settings.lineSpeed},
            {"upgradeSpeed", settings.upgradeSpeed},
            {"lowLatency", settings.lowLatency},
            {"maxResends", settings.maxResends}};
}

ReleasedJob jobOfJson(const nlohmann::json& fields) {
    ReleasedJob job;
    job.name = fields.at("job").get<std::string>();
    job.version = fields.at("version").get<std::int64_t>();
    job.image.path = fields.at("image").get<std::string>();
    job.image.sha256 = fields.at("sha256").get<std::string>();
    job.settings.target = jobTargetNamed(fields.at("target").get<std::string>()).value();
    job.settings.address = fields.at("address").get<int>();
    job.settings.lineSpeed = fields.at("lineSpeed").get<int>();
    job.settings.upgradeSpeed = fields.at("upgradeSpeed").get<int>();
    job.settings.lowLatency = fields.at("lowLatency").get<bool>();
    job.settings.maxResends = fields.at("maxResends").get<std::uint32_t>();
    return job;
}

} // namespace

std::optional<UpgradeTarget> jobTargetNamed(std::string_view name) {
    if (name == "main") {
        return UpgradeTarget::MainBoard;
    }
    if (name == "motor") {
        return UpgradeTarget::MotorBoard;
    }
    if (name == "special") {
        return UpgradeTarget::Special;
    }
    return std::nullopt;
}

std::string_view jobTargetName(UpgradeTarget target) {
    switch (target) {
    case UpgradeTarget::MotorBoard:
        return "motor";
    case UpgradeTarget::Special:
        return "special";
    case UpgradeTarget::MainBoard:
        break;
    }
    return "main";
}

std::filesystem::path jobCopyStem(const std::filesystem::path& folder, const std::string& name) {
    // Any byte outside a plain file name (a slash, a dot leading, a control character) as %XX.
    std::string safe;
    for (const unsigned char c : name) {
        if (std::isalnum(c) != 0 || ((c == '-' || c == '_' || c == '.') && !safe.empty())) {
            safe += static_cast<char>(c);
        } else {
            static constexpr char hex[] = "0123456789ABCDEF";
            safe += {'%', hex[c >> 4], hex[c & 15]};
        }
    }
    return folder / std::filesystem::path(std::u8string(safe.begin(), safe.end()));
}

std::string keepJobCopy(const std::filesystem::path& folder, const ReleasedJob& job) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        return pathText(folder) + ": " + error.message();
    }
    const std::string stem = pathText(jobCopyStem(folder, job.name));
    // The bytes first: a copy cut short between the two files is refused by its digest.
    FileStatus status = WriteWholeFile(stem + ".image", job.image.bytes);
    if (status.ok) {
        const std::string text = settingsJson(job).dump(2) + "\n";
        status = WriteWholeFile(stem + ".json",
                                std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }
    return status.ok ? std::string() : stem + ": " + status.reason;
}

JobCopy readJobCopy(const std::filesystem::path& folder, const std::string& name) {
    const std::string stem = pathText(jobCopyStem(folder, name));
    bool read = false;
    const std::string settings = bytesOf(stem + ".json", read);
    if (!read) {
        return {std::nullopt, "no copy of job " + name + " in " + pathText(folder)};
    }
    ReleasedJob job;
    try {
        job = jobOfJson(nlohmann::json::parse(settings));
    } catch (const std::exception&) {
        return {std::nullopt, stem + ".json is not a job's settings"};
    }
    const std::string bytes = bytesOf(stem + ".image", read);
    job.image.bytes.assign(bytes.begin(), bytes.end());
    if (!read || job.name != name || hexDigest(sha256Of(job.image.bytes)) != job.image.sha256) {
        return {std::nullopt, stem + ".image does not match the SHA-256 kept with it"};
    }
    return {std::move(job), {}};
}

} // namespace orvane
