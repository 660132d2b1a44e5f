// The name helpers every archive reader shares: code page 437, strict UTF-8 and the display
// path that can never leave the archive's tree.
#include "archive/ArchiveNames.h"

#include <gtest/gtest.h>

#include <string>

namespace ks {
namespace {

TEST(ArchiveNames, DecodesCodePage437) {
    struct TCase {
        std::string Bytes;
        std::string Utf8;
    };
    const TCase cases[] = {
        {"plain.txt", "plain.txt"},
        {"\x81"
         "ber.txt",
         "\xC3\xBC"
         "ber.txt"},                                              // u-umlaut
        {"\x80\x9E\xE1", "\xC3\x87\xE2\x82\xA7\xC3\x9F"},         // C-cedilla, peseta, sharp s
        {"\xB0\xC5\xDB", "\xE2\x96\x91\xE2\x94\xBC\xE2\x96\x88"}, // box and block drawing
        {"\xE0\xEB\xFB", "\xCE\xB1\xCE\xB4\xE2\x88\x9A"},         // alpha, delta, square root
        {"\xFF", "\xC2\xA0"},                                     // no-break space
        {"", ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Bytes);
        EXPECT_EQ(Cp437ToUtf8(c.Bytes), c.Utf8);
    }
}

TEST(ArchiveNames, ChecksUtf8Strictly) {
    struct TCase {
        std::string Text;
        bool Valid;
    };
    const TCase cases[] = {
        {"", true},
        {"ascii", true},
        {"\xC5\xBDlu\xC5\xA5ou\xC4\x8Dk\xC3\xBD", true},
        {"\xE2\x82\xAC", true},     // euro sign
        {"\xF0\x9F\x98\x80", true}, // emoji, four bytes
        {"\xF4\x8F\xBF\xBF", true}, // U+10FFFF
        {"\x80", false},            // stray continuation
        {"\xC3", false},            // cut sequence
        {"\xE2\x82", false},
        {"\xC0\xAF", false},         // overlong "/"
        {"\xE0\x80\xAF", false},     // overlong "/", three bytes
        {"\xF0\x80\x80\xAF", false}, // overlong "/", four bytes
        {"\xED\xA0\x80", false},     // surrogate U+D800
        {"\xF4\x90\x80\x80", false}, // above U+10FFFF
        {"\xFE", false},
        {"\xE9t\xE9", false}, // Latin-1
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(IsValidUtf8(c.Text), c.Valid);
    }
}

TEST(ArchiveNames, DisplayNameCannotLeaveTheTree) {
    const std::string replacement = "\xEF\xBF\xBD";
    const std::string leader = "\xE2\x80\xA5";
    struct TCase {
        std::string Name;
        std::string Display;
    };
    const TCase cases[] = {
        {"a/b/c.txt", "a/b/c.txt"},
        {"docs/", "docs"},
        {"/etc/passwd", "etc/passwd"},
        {"//a//b/", "a/b"},
        {"./a/./b", "a/b"},
        {"../../etc/passwd", leader + "/" + leader + "/etc/passwd"},
        {"a/../b", "a/" + leader + "/b"},
        {"...", "..."},
        {"..a", "..a"},
        {"a\tb\x7F", "a" + replacement + "b" + replacement},
        {std::string("nul\0x", 5), "nul" + replacement + "x"},
        {"c1\xC2\x85", "c1" + replacement}, // a C1 control character
        {"bad\xE9", "bad" + replacement},
        {"\xC0\xAE\xC0\xAE/x", replacement + replacement + replacement + replacement + "/x"},
        {"\xC5\xBDlu\xC5\xA5/k\xC5\xAF\xC5\x88", "\xC5\xBDlu\xC5\xA5/k\xC5\xAF\xC5\x88"},
        {"win\\name", "win\\name"},
        {"", ""},
        {"/", ""},
        {"./..", leader},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string display = ArchiveDisplayName(c.Name);
        EXPECT_EQ(display, c.Display);
        EXPECT_TRUE(IsValidUtf8(display));
    }
}

} // namespace
} // namespace ks
