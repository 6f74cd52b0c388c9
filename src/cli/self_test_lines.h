#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

#include "core/report.h"

namespace nvx {

// The self-test's summary line of one metric: "memory_copy: 2.50 МиБ/с [ok]",
// or "gpu_compute: skipped  [skipped]" for one without a value.
std::string metricLine(const Metric& metric);

// Whether `path` names the very file standard output goes to (/dev/stdout,
// /proc/self/fd/1, or the file stdout was redirected to). The self-test then
// keeps its own lines off standard output, so that it carries the report alone.
bool namesStandardOutput(const std::filesystem::path& path);

}  // namespace nvx
