#if defined(__linux__)

#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

#include "inventory/sysctl.h"

namespace nvx {
namespace {

// The probes on this machine's own /sys and /proc: the shape of the answers.
TEST(SysctlOnThisMachine, CountsMatchTheSystemAndTextsAreClean) {
    const auto logical = sysctlInt("hw.logicalcpu");
    ASSERT_TRUE(logical.has_value());
    EXPECT_EQ(*logical, ::sysconf(_SC_NPROCESSORS_ONLN));
    if (const auto physical = sysctlInt("hw.physicalcpu")) {
        EXPECT_GE(*physical, 1);
        EXPECT_LE(*physical, *logical);
    }
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    bool hasModelName = false;
    while (std::getline(cpuinfo, line)) hasModelName = hasModelName || line.rfind("model name", 0) == 0;
    const auto brand = sysctlString("machdep.cpu.brand_string");
    if (hasModelName) {
        ASSERT_TRUE(brand.has_value());
    }
    if (brand) {
        EXPECT_FALSE(brand->empty());
        EXPECT_EQ(brand->find('\n'), std::string::npos);
    }
    if (const auto model = sysctlString("hw.model")) {
        EXPECT_FALSE(model->empty());
        EXPECT_EQ(model->find('\0'), std::string::npos);
    }
    EXPECT_EQ(sysctlString("kernel.ostype"), "Linux");
    EXPECT_GT(sysctlInt("kernel.pid_max").value_or(0), 0);
    EXPECT_EQ(sysctlString("hw.no_such_value"), std::nullopt);
    EXPECT_EQ(sysctlInt("hw.no_such_value"), std::nullopt);
}

}  // namespace
}  // namespace nvx

#endif
