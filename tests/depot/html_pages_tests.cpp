#include <gtest/gtest.h>

#include "depot/html_pages.h"
#include "support/sample_reports.h"

namespace nvx::depot {
namespace {

TEST(HTMLPages, EscapeEverythingThatCouldBecomeMarkup) {
    EXPECT_EQ(escapedHTML(R"(<a href="x">'&'</a>)"), "&lt;a href=&quot;x&quot;&gt;&#39;&amp;&#39;&lt;/a&gt;");
}

TEST(HTMLPages, RecordPageShowsTheReportAndNoMarkupFromIt) {
    RunReport report = testing::sampleReport();
    report.name = "<script>alert(1)</script>";
    report.warnings.push_back("Диск <b>disk9</b> не ответил & пропущен.");
    report.inventory = JSONValue::parse(R"({"x": "</pre><img src=x>"})");
    const std::string page = recordPage(report, "2026-03-02T10:00:00Z");
    EXPECT_EQ(page.find("<script>"), std::string::npos);
    EXPECT_EQ(page.find("<img"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(page.find("Диск &lt;b&gt;disk9&lt;/b&gt; не ответил &amp; пропущен."), std::string::npos);
    for (const char* expected : {"Отдел видео", "Береговой цех", "Mac14,7", "MacBook Pro (13-inch, M2, 2022)",
                                 "Apple M2", "16,0 ГБ", "APPLE SSD AP0512Z", "500,3 ГБ", "Macintosh HD, Data",
                                 "Процессор · один поток", "412,731 M итераций/с", "Графика · Metal", "пропущено",
                                 "Metal недоступен на этом компьютере.", "2026-03-02T10:00:00Z", report.id.c_str()}) {
        EXPECT_NE(page.find(expected), std::string::npos) << expected;
    }
}

}  // namespace
}  // namespace nvx::depot
