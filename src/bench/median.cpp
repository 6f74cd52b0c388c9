#include <algorithm>
#include <limits>

#include "bench/benchmarks.h"

namespace nvx::Benchmarks {

double median(std::vector<double> values) {
    if (values.empty()) return std::numeric_limits<double>::quiet_NaN();
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

}  // namespace nvx::Benchmarks
