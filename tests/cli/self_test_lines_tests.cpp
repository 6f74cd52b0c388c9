#include <gtest/gtest.h>

#include "cli/self_test_lines.h"

namespace nvx {
namespace {

TEST(SelfTestLines, MetricValueHasTwoDecimalsUnitAndStatus) {
    Metric metric;
    metric.id = "memory_copy";
    metric.value = 2.5;
    metric.unit = "МиБ/с";
    metric.status = "ok";
    EXPECT_EQ(metricLine(metric), "memory_copy: 2.50 МиБ/с [ok]");
    metric.value = 12345.678;
    EXPECT_EQ(metricLine(metric), "memory_copy: 12345.68 МиБ/с [ok]");
}

TEST(SelfTestLines, SkippedMetricSaysSoBeforeTwoBlanks) {
    EXPECT_EQ(metricLine(Metric::skipped("gpu_compute", "Графика · Metal", "Metal недоступен на этом компьютере.")),
              "gpu_compute: skipped  [skipped]");
}

}  // namespace
}  // namespace nvx
