#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "shell/ItemClipboard.h"

namespace ks {
namespace {

using TNames = std::vector<std::string>;

TEST(ItemClipboard, FileUrisEncodeEveryByteOutsideTheUnreservedSet) {
    struct Case {
        std::string Name;
        std::string Uri;
    };
    const Case cases[] = {
        {"/home/u/a.txt", "file:///home/u/a.txt"},
        {"/A-Z_a~z.0-9", "file:///A-Z_a~z.0-9"},
        {"/with space/x", "file:///with%20space/x"},
        {"/p%#?&;=+:@!$'()*,[]", "file:///p%25%23%3F%26%3B%3D%2B%3A%40%21%24%27%28%29%2A%2C%5B%5D"},
        {"/\xff\xfe\x80 latin", "file:///%FF%FE%80%20latin"},
        {"/\xc3\xa9t\xc3\xa9", "file:///%C3%A9t%C3%A9"},
        {"/tab\tnew\nline\r", "file:///tab%09new%0Aline%0D"},
        {"/back\\slash", "file:///back%5Cslash"},
        // Names the clipboard cannot carry.
        {"relative/a", ""},
        {"", ""},
        {std::string("/nul\0byte", 9), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(FileUri(c.Name), c.Uri);
        if (!c.Uri.empty()) {
            EXPECT_EQ(FileNameOfUri(c.Uri), c.Name);
        }
    }
}

TEST(ItemClipboard, UrisFromOtherProgramsAreAcceptedOnlyForLocalAbsoluteNames) {
    struct Case {
        std::string Uri;
        std::optional<std::string> Name;
    };
    const Case cases[] = {
        {"file:///a/b", "/a/b"},
        {"file://localhost/a/b", "/a/b"},
        {"FILE://LocalHost/a/b", "/a/b"},
        {"file:/a/b", "/a/b"},
        {"file:///a%2fb", "/a/b"}, // an encoded "/" is a "/" all the same
        {"file:///a%c3%a9", "/a\xc3\xa9"},
        {"file:///a\xc3\xa9", "/a\xc3\xa9"}, // raw bytes of a name given as text
        {"file:///folder/", "/folder"},
        {"file:////a//b", "/a/b"},
        {"file:///a/.hidden/..x/x..", "/a/.hidden/..x/x.."},
        {"file://otherhost/a", std::nullopt},
        {"file://localhost.example/a", std::nullopt},
        {"file://localhost", std::nullopt},
        {"file:", std::nullopt},
        {"file:a/b", std::nullopt},
        {"http://localhost/a", std::nullopt},
        {"smb://server/share/a", std::nullopt},
        {"/a/b", std::nullopt},
        {"a/b", std::nullopt},
        {"file:///a/../etc/passwd", std::nullopt},
        {"file:///a/%2e%2e/etc", std::nullopt},
        {"file:///a/./b", std::nullopt},
        {"file:///a/..", std::nullopt},
        {"file:///", std::nullopt},
        {"file:///a%00b", std::nullopt},
        {"file:///a%0", std::nullopt},
        {"file:///a%zz", std::nullopt},
        {"file:///a?query", std::nullopt},
        {"file:///a#fragment", std::nullopt},
        {"file:///a\x01z", std::nullopt},
        {"file:///" + std::string(MaxClipboardLine, 'x'), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Uri.substr(0, 60));
        EXPECT_EQ(FileNameOfUri(c.Uri), c.Name);
    }
}

TEST(ItemClipboard, TextsRoundTripAnyNameBytes) {
    const TNames names = {"/home/u/a b.txt", "/home/u/\xff\xfe", "/home/u/line\nbreak", "/home/u/#hash",
                          "/home/u/cr\r"};
    EXPECT_EQ(UriListText({"/x", "relative", "/y z"}), "file:///x\r\nfile:///y%20z\r\n");
    EXPECT_EQ(ParseUriList(UriListText(names)), names);
    for (const bool cut : {false, true}) {
        SCOPED_TRACE(cut);
        const std::string text = GnomeCopiedFilesText({names, cut});
        EXPECT_EQ(text.substr(0, text.find('\n')), cut ? "cut" : "copy");
        const std::optional<TClipboardItems> back = ParseGnomeCopiedFiles(text);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->Names, names);
        EXPECT_EQ(back->Cut, cut);
    }
    EXPECT_EQ(GnomeCopiedFilesText({{"/a", "/b"}, true}), "cut\nfile:///a\nfile:///b");
}

TEST(ItemClipboard, ListsAreTakenWholeOrNotAtAll) {
    struct Case {
        const char* Label;
        std::string Text;
        std::optional<TNames> Names;
    };
    const std::string longLine = "file:///" + std::string(MaxClipboardLine, 'a') + "\r\n";
    std::string tooMany;
    for (std::size_t i = 0; i <= MaxClipboardNames; ++i)
        tooMany += "file:///f\r\n";
    std::string most;
    for (std::size_t i = 0; i < MaxClipboardNames; ++i)
        most += "file:///f\n";
    const Case cases[] = {
        {"comments and blank lines", "# made by hand\r\n\r\nfile:///a\r\n  \r\n#file:///b\r\nfile:///c",
         TNames{"/a", "/c"}},
        {"LF line ends", "file:///a\nfile:///b\n", TNames{"/a", "/b"}},
        {"one remote entry spoils the list", "file:///a\r\nhttp://example.com/b\r\n", std::nullopt},
        {"one escaping entry spoils the list", "file:///a\r\nfile:///a/../../etc\r\n", std::nullopt},
        {"only comments", "# nothing\r\n", std::nullopt},
        {"empty", "", std::nullopt},
        {"a line over the bound", longLine, std::nullopt},
        {"one name over the bound", tooMany, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Label);
        EXPECT_EQ(ParseUriList(c.Text), c.Names);
    }
    const std::optional<TNames> bounded = ParseUriList(most);
    ASSERT_TRUE(bounded);
    EXPECT_EQ(bounded->size(), MaxClipboardNames);
}

TEST(ItemClipboard, GnomeCopiedFilesNeedsItsHeaderAndNames) {
    struct Case {
        const char* Label;
        std::string Text;
        std::optional<TNames> Names;
        bool Cut;
    };
    const Case cases[] = {
        {"copy", "copy\nfile:///a\nfile:///b", TNames{"/a", "/b"}, false},
        {"cut with CRLF and a trailing line end", "cut\r\nfile:///a\r\n", TNames{"/a"}, true},
        {"unknown header", "move\nfile:///a", std::nullopt, false},
        {"header in capitals", "COPY\nfile:///a", std::nullopt, false},
        {"URI in place of the header", "file:///a\nfile:///b", std::nullopt, false},
        {"header only", "copy", std::nullopt, false},
        {"header and no names", "cut\n\n", std::nullopt, false},
        {"a bad name", "copy\nfile:///a\nfile://host/b", std::nullopt, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Label);
        const std::optional<TClipboardItems> items = ParseGnomeCopiedFiles(c.Text);
        ASSERT_EQ(items.has_value(), c.Names.has_value());
        if (!items)
            continue;
        EXPECT_EQ(items->Names, *c.Names);
        EXPECT_EQ(items->Cut, c.Cut);
    }
}

} // namespace
} // namespace ks
