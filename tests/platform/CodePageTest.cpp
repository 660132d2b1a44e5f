#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <string>

namespace ks {
namespace {

TEST(CodePage, DecodesWindowsCodePages) {
    struct TCase {
        int CodePage;
        std::string Bytes;
        std::string Utf8;
    };
    const TCase cases[] = {
        // Slovak letters of CP1250: "Žluťoučký kůň ľščťžýáíé"
        {1250, "\x8Elu\x9Dou\xE8k\xFD k\xF9\xF2 \xBE\x9A\xE8\x9D\x9E\xFD\xE1\xED\xE9",
         "\xC5\xBDlu\xC5\xA5ou\xC4\x8Dk\xC3\xBD k\xC5\xAF\xC5\x88 "
         "\xC4\xBE\xC5\xA1\xC4\x8D\xC5\xA5\xC5\xBE\xC3\xBD"
         "\xC3\xA1\xC3\xAD\xC3\xA9"},
        // "Привет"
        {1251, "\xCF\xF0\xE8\xE2\xE5\xF2", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
        // Euro sign, curly quotes and a-umlaut; 0x81 has no character in CP1252.
        {1252, "\x80 \x93x\x94 \xE4", "\xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D \xC3\xA4"},
        {1252, "a\x81z", "a\xEF\xBF\xBDz"},
        // Unknown code pages and 0 read as CP1252.
        {0, "\x80", "\xE2\x82\xAC"},
        {437, "\xE4", "\xC3\xA4"},
        // "日本" and half-width katakana "ｱ" in CP932.
        {932, "\x93\xFA\x96\x7B\xB1", "\xE6\x97\xA5\xE6\x9C\xAC\xEF\xBD\xB1"},
        // A lead byte followed by a byte that cannot trail it: only the lead byte is lost.
        {932, "\x93 x", "\xEF\xBF\xBD x"},
        // A double-byte character cut off by the end of the text.
        {932, "ok\x93", "ok\xEF\xBF\xBD"},
        {936, "\xD6\xD0", "\xE4\xB8\xAD"}, // "中"
        {949, "\xC7\xD1", "\xED\x95\x9C"}, // "한"
        {950, "\xA4\xA4", "\xE4\xB8\xAD"}, // "中"
        {1253, "\xE1", "\xCE\xB1"},        // alpha
        {874, "\xA1", "\xE0\xB8\x81"},     // ko kai
        {65001, "\xC5\xBDlu\xC5\xA5", "\xC5\xBDlu\xC5\xA5"},
        {65001, "", ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.CodePage) + ": " + c.Bytes);
        EXPECT_EQ(DecodeCodePage(c.Bytes, c.CodePage), c.Utf8);
    }
}

TEST(CodePage, InvalidUtf8BecomesReplacementCharacters) {
    const std::string R = "\xEF\xBF\xBD";
    struct TCase {
        std::string Bytes;
        std::string Utf8;
    };
    const TCase cases[] = {
        {"a\xFF"
         "b",
         "a" + R + "b"},
        {"\xC0\xAF", R + R},                 // overlong "/"
        {"\xE0\x80\xAF", R + R + R},         // overlong, three bytes
        {"\xED\xA0\x80", R + R + R},         // a surrogate
        {"\xF4\x90\x80\x80", R + R + R + R}, // above U+10FFFF
        {"\xE2\x82"
         "x",
         R + "x"},                      // a sequence broken after two bytes is one character
        {"end\xF0\x9F\x98", "end" + R}, // cut off at the end
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
        {std::string("nul\0in", 6), std::string("nul\0in", 6)},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Bytes);
        EXPECT_EQ(DecodeCodePage(c.Bytes, 65001), c.Utf8);
    }
}

TEST(CodePage, EveryByteDecodesToValidUtf8) {
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    for (const int codePage :
         {874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258, 65001}) {
        SCOPED_TRACE(codePage);
        const std::string text = DecodeCodePage(all + all, codePage);
        EXPECT_EQ(DecodeCodePage(text, 65001), text);
        EXPECT_NE(text.find("~"), std::string::npos);
    }
}

} // namespace
} // namespace ks
