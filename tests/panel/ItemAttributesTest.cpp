// The attributes dialog's work on real folders: the boxes it opens with for the items of a panel,
// and what Change does to modes and modification times of files, folders and symlinks.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "panel/ItemAttributes.h"
#include "panel/KMYFILEPANEL.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxSystem.h"
#include "support/TempTree.h"

namespace ks {
namespace {

using test::TempTree;
using S = TAttrBoxState;

constexpr std::int64_t Second = 1'000'000'000;

struct stat LinkStat(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

std::uint32_t Permissions(const std::string& path) {
    return LinkStat(path).st_mode & 07777;
}

std::int64_t ModifyTime(const std::string& path) {
    const struct stat st = LinkStat(path);
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * Second + st.st_mtim.tv_nsec;
}

TEST(ItemAttributes, BoxesOpenGrayedWhereTheItemsDiffer) {
    struct TCase {
        const char* What;
        std::vector<std::uint32_t> Attrs;
        TAttrBoxes Boxes; // read-only, archive, hidden, system
    };
    const std::vector<TCase> cases = {
        {"no items", {}, {S::abClear, S::abClear, S::abClear, S::abClear}},
        {"one read-only file", {1 | 32}, {S::abSet, S::abSet, S::abClear, S::abClear}},
        {"three files, one hidden", {32, 32 | 2, 32}, {S::abClear, S::abSet, S::abGrayed, S::abClear}},
        {"the first differs from the rest",
         {1 | 2, 32, 32},
         {S::abGrayed, S::abGrayed, S::abGrayed, S::abClear}},
        {"folder bit is no box", {16, 32 | 16}, {S::abClear, S::abGrayed, S::abClear, S::abClear}},
        {"a device among files", {32, 4}, {S::abClear, S::abGrayed, S::abClear, S::abGrayed}},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(InitialAttrBoxes(c.Attrs), c.Boxes) << c.What;
}

TEST(ItemAttributes, GrayedBoxesKeepEachItemsBit) {
    const TAttrBoxes boxes{S::abSet, S::abGrayed, S::abGrayed, S::abClear};
    EXPECT_EQ(ApplyAttrBoxes(2 | 4 | 16, boxes), 1u | 2u | 16u);
    EXPECT_EQ(ApplyAttrBoxes(32, boxes), 1u | 32u);
}

class ItemAttributesOnDisk : public testing::Test {
protected:
    void SetUp() override { SetPlatform(&FSystem, &FFileSystem); }
    void TearDown() override { SetPlatform(nullptr, nullptr); }

    TKLinuxSystem FSystem;
    TKLinuxFileSystem FFileSystem;
    TPanelOptions FOptions;
};

TEST_F(ItemAttributesOnDisk, MarkedItemsOfAPanelInOrderOrTheCursorItem) {
    TempTree tree;
    tree.File("a.txt", "a");
    tree.File("b.txt", "b");
    tree.File(".hidden", "h");
    ::chmod((tree / "b.txt").c_str(), 0444);
    FOptions.PanelShowHidden = true;
    TKMYFILEPANEL panel(FOptions);
    panel.FFolderItems.FPath = tree.Path();
    panel.ReadPanel(false, false);

    panel.FindItem("b.txt", true);
    std::vector<TAttrItem> items = AttributeItems(panel);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].FullName, tree / "b.txt");
    EXPECT_EQ(items[0].Attr & (AttrReadOnly | AttrArchive), AttrReadOnly | AttrArchive);

    for (const char* name : {"a.txt", "b.txt", ".hidden"})
        panel.MarkItem(panel.FItemsStruc->GetFileItem(panel.FindItem(name, false)), mmMark);
    items = AttributeItems(panel);
    ASSERT_EQ(items.size(), 3u);
    std::vector<std::uint32_t> attrs;
    for (const TAttrItem& item : items)
        attrs.push_back(item.Attr);
    EXPECT_EQ(InitialAttrBoxes(attrs), (TAttrBoxes{S::abGrayed, S::abSet, S::abGrayed, S::abClear}));

    // The up-folder under the cursor with nothing marked is no item.
    for (const char* name : {"a.txt", "b.txt", ".hidden"})
        panel.MarkItem(panel.FItemsStruc->GetFileItem(panel.FindItem(name, false)), mmUnmark);
    ASSERT_EQ(panel.FItemsStruc->FMarkedCount, 0);
    panel.FItemsStruc->SetItemIndex(0);
    ASSERT_EQ(panel.FItemsStruc->FCurrentItem->Kind, ikUpFolder);
    EXPECT_TRUE(AttributeItems(panel).empty());
}

TEST_F(ItemAttributesOnDisk, ChangeSetsTheOwnerWriteBitAndTheTimesOfEveryItem) {
    const std::int64_t when = 1'000'000'000 * Second + 5;
    struct TCase {
        const char* What;
        TAttrBoxState ReadOnly;
        bool Times;
        std::uint32_t A, B, Folder; // the modes afterwards of a (0644), b (0444) and dir (0755)
    };
    const std::vector<TCase> cases = {
        {"read-only set", S::abSet, false, 0444, 0444, 0555},
        {"read-only cleared", S::abClear, false, 0644, 0644, 0755},
        {"read-only grayed, times only", S::abGrayed, true, 0644, 0444, 0755},
        {"read-only set with times", S::abSet, true, 0444, 0444, 0555},
    };
    for (const TCase& c : cases) {
        TempTree tree;
        const std::string a = tree.File("a", "a");
        const std::string b = tree.File("b", "b");
        const std::string dir = tree.Folder("dir");
        const std::string target = tree.File("target", "t");
        const std::string link = tree / "link";
        ::chmod(a.c_str(), 0644);
        ::chmod(b.c_str(), 0444);
        ::chmod(dir.c_str(), 0755);
        ::chmod(target.c_str(), 0640);
        ASSERT_EQ(::symlink("target", link.c_str()), 0);
        const std::int64_t targetTime = ModifyTime(target);

        TAttrChange change;
        change.Boxes = {c.ReadOnly, S::abGrayed, S::abGrayed, S::abGrayed};
        if (c.Times)
            change.ModifyTimeNs = when;
        const std::vector<TAttrItem> items = {{a, 32}, {b, 33}, {dir, 16}, {link, 32}};
        EXPECT_TRUE(ChangeItemAttributes(FFileSystem, items, change).empty()) << c.What;

        EXPECT_EQ(Permissions(a), c.A) << c.What;
        EXPECT_EQ(Permissions(b), c.B) << c.What;
        EXPECT_EQ(Permissions(dir), c.Folder) << c.What;
        // The link has no mode of its own to change, and its target is never touched.
        EXPECT_EQ(Permissions(target), 0640u) << c.What;
        EXPECT_EQ(ModifyTime(target), targetTime) << c.What;
        for (const std::string& path : {a, b, dir, link})
            EXPECT_EQ(ModifyTime(path) == when, c.Times) << c.What << " " << path;
        ::chmod(dir.c_str(), 0755);
    }
}

TEST_F(ItemAttributesOnDisk, ItemsThatFailAreNamedAndTheOthersStillChange) {
    TempTree tree;
    const std::string a = tree.File("a", "a");
    const std::string gone = tree / "gone";
    const std::string c = tree.File("c", "c");
    TAttrChange change;
    change.Boxes = {S::abSet, S::abGrayed, S::abGrayed, S::abGrayed};
    change.ModifyTimeNs = 5 * Second;
    const std::vector<std::string> failed =
        ChangeItemAttributes(FFileSystem, {{a, 32}, {gone, 32}, {c, 32}, {"relative", 32}}, change);
    EXPECT_EQ(failed, (std::vector<std::string>{gone, "relative"}));
    for (const std::string& path : {a, c}) {
        EXPECT_EQ(Permissions(path) & 0200, 0u);
        EXPECT_EQ(ModifyTime(path), 5 * Second);
    }
}

} // namespace
} // namespace ks
