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

TEST(HTMLPages, ListLinksEachRecordNewestFirst) {
    const std::vector<RunListing> runs = {{"id/2&x", "2026-03-02T10:00:00Z", "", "Отдел", "", ""},
                                          {"id-1", "2026-03-01T10:00:00Z", "Стойка <1>", "", "", "Mac14,7"}};
    const std::string page = listPage(runs);
    const auto second = page.find("href=\"/?run=id%2F2%26x\">id/2&amp;x</a>");
    const auto first = page.find("href=\"/?run=id-1\">Стойка &lt;1&gt;</a>");
    ASSERT_NE(second, std::string::npos);
    ASSERT_NE(first, std::string::npos);
    EXPECT_LT(second, first);
    EXPECT_NE(listPage({}).find("На складе пока нет описей."), std::string::npos);
}

}  // namespace
}  // namespace nvx::depot
