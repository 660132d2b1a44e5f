#include "shell/SkinData.h"

#include <clocale>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "support/TempTree.h"

namespace ks {
namespace {

const TPanelColours CurrentColours{MakeColor(1, 1, 1), MakeColor(2, 2, 2), MakeColor(3, 3, 3),
                                   MakeColor(4, 4, 4), MakeColor(5, 5, 5), MakeColor(6, 6, 6)};

TSkinData Parse(const std::string& text, const TFontSpec& currentFont = {}) {
    TIniFile ini;
    ini.SetText(text);
    return ParseSkinSettings(ini, CurrentColours, currentFont);
}

void PutU32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// "Back.msk" bytes: the byte count, the region header and the rectangles. lengthDelta and count
// let a test damage the file.
std::string ShapeFile(const std::vector<TShapeRect>& rects, std::int64_t lengthDelta = 0,
                      std::int64_t count = -1, std::uint32_t type = 1) {
    std::string region;
    PutU32(region, 32);
    PutU32(region, type);
    PutU32(region, static_cast<std::uint32_t>(count < 0 ? static_cast<std::int64_t>(rects.size()) : count));
    PutU32(region, static_cast<std::uint32_t>(rects.size() * 16));
    for (int i = 0; i < 4; ++i)
        PutU32(region, 0);
    for (const TShapeRect& r : rects) {
        PutU32(region, static_cast<std::uint32_t>(r.Left));
        PutU32(region, static_cast<std::uint32_t>(r.Top));
        PutU32(region, static_cast<std::uint32_t>(r.Right));
        PutU32(region, static_cast<std::uint32_t>(r.Bottom));
    }
    std::string file;
    PutU32(file, static_cast<std::uint32_t>(static_cast<std::int64_t>(region.size()) + lengthDelta));
    return file + region;
}

TEST(SkinData, MissingDataIniGivesEveryDefault) {
    test::TempTree tree;
    TFontSpec current;
    current.Name = "Current";
    const TSkinData data = LoadSkinSettings(tree.Path(), CurrentColours, current);
    ASSERT_TRUE(data.Status);
    EXPECT_EQ(data.Name, "");
    EXPECT_EQ(data.MainWidth, 400);
    EXPECT_EQ(data.MainHeight, 300);
    EXPECT_EQ(data.MainColor, 0u);
    EXPECT_EQ(data.PanelLineSpacing, 1.0);
    for (const TSkinPosition& p : data.Positions)
        EXPECT_EQ(p, (TSkinPosition{{0, 0, 0, 0}, 4}));
    for (const TColorRef c : data.PartColors)
        EXPECT_EQ(c, 0u);
    EXPECT_EQ(data.Colours, CurrentColours);
    EXPECT_EQ(data.FontString, DefaultSkinFont);
    EXPECT_EQ(data.Font.Name, "Verdana");
    EXPECT_EQ(data.Font.Height, -9);
    EXPECT_FALSE(data.LeftMask.Loaded);
    EXPECT_FALSE(data.RightMask.Loaded);
}

TEST(SkinData, ReadsValuesAndABadPositionFieldStopsOnlyThatPart) {
    const TSkinData data = Parse("[s_nfo]\nsname=Blue Sky\n"
                                 "[m_settings]\nmwid=640\nmhei=abc\nmcolor=10|20|30\n"
                                 "[m_pos]\nmlpanel=10|20|300|400\nmrpanel=5|x|7|8\nmnfoline=1|2|3\n"
                                 "mbtnClose=|1|2|3\nmImgMenu=-4|-5|6|7|extra\n"
                                 "mlpanelc=9|8|7\nmrpanelc=bad\n");
    EXPECT_EQ(data.Name, "Blue Sky");
    EXPECT_EQ(data.MainWidth, 640);
    EXPECT_EQ(data.MainHeight, 300); // not a number: the default
    EXPECT_EQ(data.MainColor, MakeColor(10, 20, 30));
    EXPECT_EQ(data.Positions[spLeftPanel], (TSkinPosition{{10, 20, 300, 400}, 4}));
    EXPECT_EQ(data.Positions[spRightPanel].Fields, 1);
    EXPECT_EQ(data.Positions[spInfoLine].Fields, 3);
    EXPECT_EQ(data.Positions[spBtnClose].Fields, 0);
    EXPECT_EQ(data.Positions[spImgMenu], (TSkinPosition{{-4, -5, 6, 7}, 4}));
    // The fields before the bad one are applied, the part keeps its own values for the rest.
    const TSkinRect current{100, 200, 300, 400};
    EXPECT_EQ(data.Positions[spRightPanel].ApplyTo(current), (TSkinRect{5, 200, 300, 400}));
    EXPECT_EQ(data.Positions[spInfoLine].ApplyTo(current), (TSkinRect{1, 2, 3, 400}));
    EXPECT_EQ(data.Positions[spBtnClose].ApplyTo(current), current);
    // Missing keys still place their parts at 0, 0 with no size.
    EXPECT_EQ(data.Positions[spLeftPanelInfo].ApplyTo(current), (TSkinRect{}));
    EXPECT_EQ(data.PartColors[spLeftPanel], MakeColor(9, 8, 7));
    EXPECT_EQ(data.PartColors[spRightPanel], 0u);
}

TEST(SkinData, LineSpacingIsReadWithADotWhateverTheLocale) {
    // A comma locale shows that the locale plays no part; without one, the table still checks
    // that only "." separates.
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8", "de_DE"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr)
            break;
    }
    struct Case {
        const char* Text;
        double Spacing;
    };
    const Case cases[] = {{"1.5", 1.5}, {" 2 ", 2.0}, {"0.75", 0.75}, {"1,5", 1.0},
                          {"abc", 1.0}, {"", 1.0},    {"nan", 1.0},   {"inf", 1.0},
                          {"0", 1.0},   {"-2", 1.0},  {"1e300", 1.0}, {"1.5x", 1.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(Parse(std::string("[m_settings]\nmitemheikoef=") + c.Text).PanelLineSpacing, c.Spacing);
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(SkinData, UserFontAndColoursWinAndMalformedColoursKeepTheCurrentOnes) {
    const TSkinData data = Parse("[vis_settings]\npanelfont=1|2|3|-12|Designer|0|96|1|9|ynnn\n"
                                 "itemcolalphacur=10|10|10\nitemcolfolder=20|20|20\nitemcolexe=bad\n"
                                 "itemcolpacked=1|2\n"
                                 "[user]\npanelfont=4|5|6|-14|Mine|0|96|1|10|nyny\n"
                                 "itemcolfolder=30|30|30\nitemcolother=x|1|2\n");
    ASSERT_TRUE(data.Status);
    EXPECT_EQ(data.Font.Name, "Mine");
    EXPECT_EQ(data.Font.Color, MakeColor(4, 5, 6));
    EXPECT_TRUE(data.Font.Italic);
    EXPECT_FALSE(data.Font.Bold);
    TPanelColours expected = CurrentColours;
    expected.Cursor = MakeColor(10, 10, 10);
    expected.Folder = MakeColor(30, 30, 30);
    EXPECT_EQ(data.Colours, expected);

    // Without a "user" font the designer's one is in force.
    EXPECT_EQ(Parse("[vis_settings]\npanelfont=1|2|3|-12|Designer|0|96|1|9|ynnn\n").Font.Name, "Designer");
    // An empty font string changes nothing.
    TFontSpec current;
    current.Name = "Current";
    EXPECT_EQ(Parse("[user]\npanelfont=\n", current).Font.Name, "Current");
}

TEST(SkinData, MalformedFontStringFailsAndKeepsTheFont) {
    TFontSpec current;
    current.Name = "Current";
    const TSkinData data = Parse("[m_pos]\nmlpanel=1|2|3|4\n[user]\npanelfont=1|2|3|big|Bad|0|96|1|9|nnnn\n"
                                 "itemcolexe=7|7|7\n",
                                 current);
    ASSERT_FALSE(data.Status);
    EXPECT_EQ(data.Status.error().Code, TErrorCode::ecParse);
    EXPECT_TRUE(data.FontFailed);
    EXPECT_EQ(data.Font, current);
    // What comes before the font in a skin load has been read.
    EXPECT_EQ(data.Positions[spLeftPanel].Rect, (TSkinRect{1, 2, 3, 4}));
    EXPECT_EQ(data.Colours.Exe, MakeColor(7, 7, 7));
}

TEST(SkinData, PanelMasksReadAtMost1200Bytes) {
    test::TempTree tree;
    std::string longMask;
    for (int i = 0; i < 400; ++i) { // 1600 bytes: the last 100 rows are never read
        const int left = i, right = 1000 + i;
        longMask += {static_cast<char>(left & 0xFF), static_cast<char>(left >> 8),
                     static_cast<char>(right & 0xFF), static_cast<char>(right >> 8)};
    }
    tree.File("msk_lp", longMask);
    tree.File("MSK_RP", std::string("\x01\x02\x03\x04\x05", 5)); // a short, uneven file; any case
    const TSkinData data = LoadSkinSettings(tree.Path(), CurrentColours, {});
    ASSERT_TRUE(data.LeftMask.Loaded);
    EXPECT_EQ(data.LeftMask.Entries[0], (TPanelMaskEntry{0, 1000}));
    EXPECT_EQ(data.LeftMask.Entries[299], (TPanelMaskEntry{299, 1299}));
    ASSERT_TRUE(data.RightMask.Loaded);
    EXPECT_EQ(data.RightMask.Entries[0], (TPanelMaskEntry{0x0201, 0x0403}));
    EXPECT_EQ(data.RightMask.Entries[1], (TPanelMaskEntry{0x0005, 0}));
    EXPECT_EQ(data.RightMask.Entries[2], (TPanelMaskEntry{}));

    // An empty file is a loaded mask of zeros; a folder under the name is no mask.
    tree.File("empty/msk_lp");
    tree.Folder("empty/msk_rp");
    const TSkinData empty = LoadSkinSettings(tree / "empty", CurrentColours, {});
    EXPECT_TRUE(empty.LeftMask.Loaded);
    EXPECT_EQ(empty.LeftMask.Entries[0], (TPanelMaskEntry{}));
    EXPECT_FALSE(empty.RightMask.Loaded);
}

TEST(SkinData, WindowShapeFromBackMsk) {
    const std::vector<TShapeRect> rects = {{0, 0, 100, 10}, {5, 10, 95, 20}, {50, 20, 50, 30}};
    Result<TWindowShape> shape = ParseWindowShape(ShapeFile(rects) + "trailing");
    ASSERT_TRUE(shape);
    EXPECT_TRUE(shape->HasShape);
    // The empty third rectangle adds nothing.
    EXPECT_EQ(shape->Rects, (std::vector<TShapeRect>{rects[0], rects[1]}));

    Result<TWindowShape> none = ParseWindowShape(std::string(4, '\0') + "ignored");
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->HasShape);

    const std::string valid = ShapeFile(rects);
    struct Case {
        const char* What;
        std::string Bytes;
    };
    const Case damaged[] = {
        {"empty", ""},
        {"short count", "\x01\x00"},
        {"truncated", valid.substr(0, valid.size() - 1)},
        {"count past the data", ShapeFile(rects, 16)},
        {"more rectangles than bytes", ShapeFile(rects, 0, 4)},
        {"absurd rectangle count", ShapeFile(rects, 0, 0xFFFFFFFFu)},
        {"count wraps when multiplied", ShapeFile(rects, 0, 0x10000001u)},
        {"shorter than a header", ShapeFile({}, -1)},
        {"not rectangles", ShapeFile(rects, 0, -1, 2)},
        {"absurd byte count", "\xFF\xFF\xFF\xFF" + valid.substr(4)},
    };
    for (const Case& c : damaged) {
        SCOPED_TRACE(c.What);
        Result<TWindowShape> bad = ParseWindowShape(c.Bytes);
        ASSERT_FALSE(bad);
        EXPECT_EQ(bad.error().Code, TErrorCode::ecParse);
    }
}

TEST(SkinData, LoadWindowShapeFindsTheFileIgnoringCase) {
    test::TempTree tree;
    Result<TWindowShape> missing = LoadWindowShape(tree.Path());
    ASSERT_TRUE(missing);
    EXPECT_FALSE(missing->HasShape);

    tree.File("back.MSK", ShapeFile({{1, 2, 3, 4}}));
    Result<TWindowShape> shape = LoadWindowShape(tree.Path() + "/");
    ASSERT_TRUE(shape);
    EXPECT_EQ(shape->Rects, (std::vector<TShapeRect>{{1, 2, 3, 4}}));

    tree.File("damaged/Back.msk", ShapeFile({{1, 2, 3, 4}}).substr(0, 20));
    Result<TWindowShape> damaged = LoadWindowShape(tree / "damaged");
    ASSERT_FALSE(damaged);
    EXPECT_NE(damaged.error().Path.find("Back.msk"), std::string::npos);
}

TEST(SkinData, SaveSkinThenLoadRoundTripsAndKeepsTheRest) {
    test::TempTree tree;
    const std::string ini = tree.File("DATA.INI", "; made by hand\r\n[s_nfo]\r\nsname=Round\r\n"
                                                  "[m_pos]\r\nmlpanel=1|1|1|1\r\nmbtnClose=7|8|9|10\r\n"
                                                  "[vis_settings]\r\nitemcolexe=1|2|3\r\n");
    TSkinSaveData save;
    for (std::size_t i = 0; i < SkinDisplayPartCount; ++i)
        save.Positions[i] = {static_cast<int>(i), static_cast<int>(10 * i), 100, 200 + static_cast<int>(i)};
    ASSERT_TRUE(StringToFont("9|8|7|-11|Saved Font|0|96|1|8|ynyn", save.Font));
    save.Colours = {MakeColor(11, 0, 0), MakeColor(12, 0, 0), MakeColor(13, 0, 0),
                    MakeColor(14, 0, 0), MakeColor(15, 0, 0), MakeColor(16, 0, 0)};
    ASSERT_TRUE(SaveSkin(tree.Path(), save));

    const TSkinData data = LoadSkinSettings(tree.Path(), CurrentColours, {});
    ASSERT_TRUE(data.Status);
    EXPECT_EQ(data.Name, "Round");
    for (std::size_t i = 0; i < SkinDisplayPartCount; ++i)
        EXPECT_EQ(data.Positions[i], (TSkinPosition{save.Positions[i], 4}));
    EXPECT_EQ(data.Positions[spBtnClose].Rect, (TSkinRect{7, 8, 9, 10})); // never written
    EXPECT_EQ(data.Positions[spBtnMini].Rect, (TSkinRect{}));
    EXPECT_EQ(data.Font, save.Font);
    EXPECT_EQ(data.Colours, save.Colours);

    // The hand-written lines, the case of the file name and its CR LF stay; the button
    // positions get no key.
    const std::string text = test::TempTree::ReadFile(ini);
    EXPECT_EQ(text.rfind("; made by "
                         "hand\r\n[s_nfo]\r\nsname=Round\r\n[m_pos]\r\nmlpanel=1|10|100|201\r\nmbtnClose=7|8|"
                         "9|10\r\nmlpanelnfo=0|0|100|200\r\n",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("itemcolexe=1|2|3\r\n"), std::string::npos);
    EXPECT_EQ(text.find("mbtnMini"), std::string::npos);
    EXPECT_EQ(text.find("mImgMenu"), std::string::npos);
    EXPECT_EQ(test::TempTree::ReadFile(tree / "data.ini"), "");
}

TEST(SkinData, SaveSkinCreatesAMissingFileButLeavesAnUnreadableOneAlone) {
    test::TempTree tree;
    ASSERT_TRUE(SaveSkin(tree.Path(), {}));
    EXPECT_NE(test::TempTree::ReadFile(tree / "data.ini").find("[user]\r\npanelfont="), std::string::npos);

    tree.Folder("odd/data.ini");
    EXPECT_FALSE(SaveSkin(tree / "odd", {}));
    EXPECT_FALSE(SaveSkin(tree / "no-such-skin", {}));
}

} // namespace
} // namespace ks
