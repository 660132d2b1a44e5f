#include "foundation/Json.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace ks {
namespace {

TEST(Json, QuotesTextAndKeepsStrayBytesRecognisable) {
    const struct {
        const char* Name;
        std::string_view Text;
        const char* Quoted;
    } cases[] = {
        {"empty", "", R"("")"},
        {"plain", "report.txt", R"("report.txt")"},
        {"quote and backslash", R"(a"b\c)", R"("a\"b\\c")"},
        {"control characters", std::string_view("a\nb\x01\x1f\x7f", 6), "\"a\\u000ab\\u0001\\u001f\x7f\""},
        {"valid UTF-8 of two, three and four bytes", "\xc3\xa4\xe2\x82\xac\xf0\x9f\x98\x80",
         "\"\xc3\xa4\xe2\x82\xac\xf0\x9f\x98\x80\""},
        {"stray bytes among plain ones",
         "a\xff"
         "b\xc3",
         R"("a\u00ffb\u00c3")"},
        {"a sequence cut short", "\xe2\x82x", R"("\u00e2\u0082x")"},
        {"a NUL byte", std::string_view("a\0b", 3), R"("a\u0000b")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(JsonQuote(c.Text), c.Quoted);
    }
}

TEST(Json, LineHoldsKeysInOrder) {
    TJsonLine line;
    line.Add("name", "a\"b")
        .Add("least", std::numeric_limits<std::int64_t>::min())
        .Add("most", std::numeric_limits<std::int64_t>::max())
        .Add("zero", 0)
        .Add("flag", true)
        .AddRaw("list", JsonArray({"x", "\n"}));
    EXPECT_EQ(line.Text(),
              R"({"name":"a\"b","least":-9223372036854775808,"most":9223372036854775807,"zero":0,)"
              R"("flag":true,"list":["x","\u000a"]})");
}

} // namespace
} // namespace ks
