#include "cli/self_test_lines.h"

#include <sys/stat.h>
#include <unistd.h>

namespace nvx {

std::string metricLine(const Metric& metric) {
    std::string value = "skipped";
    if (metric.value) {
        char text[64];
        std::snprintf(text, sizeof text, "%.2f", *metric.value);
        value = text;
    }
    return metric.id + ": " + value + " " + metric.unit + " [" + metric.status + "]";
}

bool namesStandardOutput(const std::filesystem::path& path) {
    struct stat output {};
    struct stat named {};
    if (::fstat(STDOUT_FILENO, &output) != 0 || ::stat(path.c_str(), &named) != 0) return false;
    return output.st_dev == named.st_dev && output.st_ino == named.st_ino;
}

}  // namespace nvx
