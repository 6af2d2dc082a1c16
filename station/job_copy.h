// The station's own copy of the job it last took, in its state folder: the image's bytes and
// a small JSON of the version and settings, so that a line whose server stops answering, or a
// station started meanwhile, goes on with what it was given. The bytes are verified against
// the SHA-256 kept with them whenever the copy is read.
#pragma once

#include "station/job_source.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// Where a job's copy is kept: folder/NAME.image and folder/NAME.json (the name made safe).
std::filesystem::path jobCopyStem(const std::filesystem::path& folder, const std::string& name);

// Replaces the copy of job.name; answers why not (empty: kept).
std::string keepJobCopy(const std::filesystem::path& folder, const ReleasedJob& job);

struct JobCopy {
    std::optional<ReleasedJob> job; // set when read whole and verified
    std::string refusal;            // else why not
};
JobCopy readJobCopy(const std::filesystem::path& folder, const std::string& name);

// "main", "motor", "special" as a job's target is written; nullopt for any other.
std::optional<UpgradeTarget> jobTargetNamed(std::string_view name);
std::string_view jobTargetName(UpgradeTarget target);

} // namespace orvane
