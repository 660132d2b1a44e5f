#include "panel/Sorting.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

struct TEntry {
    const char* Name;
    TKItemKind Kind = ikFile;
    std::int64_t Size = 0;
    bool Executable = false;
};

void Fill(TKITEMSSTRUC& list, const std::vector<TEntry>& entries) {
    list.ClearItems(true);
    for (const auto& entry : entries) {
        auto item = std::make_unique<TKFiles>();
        item->Name = entry.Name;
        item->Kind = entry.Kind;
        item->Size = entry.Size;
        item->IsExecutable = entry.Executable;
        list.FItems.push_back(std::move(item));
    }
}

std::vector<std::string> Names(const TKITEMSSTRUC& list) {
    std::vector<std::string> names;
    for (const auto& item : list.FItems)
        names.push_back(item->Name);
    return names;
}

TEST(Sorting, OrdersByGroupThenModeKey) {
    const std::vector<TEntry> folder = {
        {"b.txt"}, {"A.EXE", ikFile, 0, true}, {"zdir", ikFolder}, {".."}, {"c.bat", ikFile, 0, true}};
    struct TCase {
        const char* Name;
        int Mode;
        bool FolderFirst, ExeFirst;
        std::vector<TEntry> Entries;
        std::vector<std::string> Expected;
    };
    std::vector<TEntry> withUp = folder;
    withUp[3].Kind = ikUpFolder;
    const TCase cases[] = {
        {"folders and executables first", 1, true, true, withUp, {"..", "zdir", "A.EXE", "c.bat", "b.txt"}},
        {"no groups", 1, false, false, withUp, {"..", "A.EXE", "b.txt", "c.bat", "zdir"}},
        {"by extension, none first",
         2,
         false,
         false,
         {{"readme.txt"}, {"a.zip"}, {"Makefile"}, {"b.TXT"}},
         {"Makefile", "b.TXT", "readme.txt", "a.zip"}},
        // "Zip" before "txt" in byte order, after it without regard to case.
        {"by extension without regard to case", 2, false, false, {{"a.Zip"}, {"b.txt"}}, {"b.txt", "a.Zip"}},
        {"by size, shorter number first, equal sizes by name",
         3,
         false,
         false,
         {{"ten", ikFile, 10}, {"nine", ikFile, 9}, {"b", ikFile, 10}, {"big", ikFile, 5'000'000'000}},
         {"nine", "b", "ten", "big"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TPanelOptions options;
        options.PanelSortMode = c.Mode;
        options.PanelFolderFirst = c.FolderFirst;
        options.PanelExecutableFirst = c.ExeFirst;
        TKITEMSSTRUC list;
        Fill(list, c.Entries);
        SortItems(list, options);
        EXPECT_EQ(Names(list), c.Expected);
    }
}

TEST(Sorting, InsertKeepsASortedListSorted) {
    TPanelOptions options;
    TKITEMSSTRUC list;
    Fill(list, {{"..", ikUpFolder}, {"docs", ikFolder}, {"a.txt"}, {"c.txt"}});
    list.SetItemIndex(2);
    SortItems(list, options);
    EXPECT_EQ(list.FCurrentItem->Name, "a.txt");
    const struct {
        TEntry Entry;
        int Index;
    } cases[] = {{{"b.txt"}, 3}, {{"bin", ikFolder}, 1}, {{"zz"}, 4}, {{"C.TXT"}, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Entry.Name);
        TKFiles item;
        item.Name = c.Entry.Name;
        item.Kind = c.Entry.Kind;
        EXPECT_EQ(SortedInsertIndex(list, item, options), c.Index);
    }
}

TEST(Marking, TotalsFollowEveryChange) {
    TKITEMSSTRUC list;
    Fill(list, {{"..", ikUpFolder},
                {"a.txt", ikFile, 1000},
                {"b.doc", ikFile, 234},
                {"dir", ikFolder},
                {"c.TXT", ikFile, 5},
                {"d.bin", ikFile, 7}});
    list.MarkItem(list.GetFileItem(1), 0);
    list.MarkItem(list.GetFileItem(2), 2);
    list.MarkItem(list.GetFileItem(2), 0);
    EXPECT_EQ(list.FMarkedCount, 2);
    EXPECT_EQ(list.FMarkedSize, 1234);

    // Inverting all: the up-folder never becomes marked; an uncounted folder adds nothing.
    MarkMatching(list, "*.*", 2, false);
    EXPECT_EQ(list.FMarkedCount, 3);
    EXPECT_EQ(list.FMarkedSize, 12);
    EXPECT_FALSE(list.GetFileItem(0)->Marked);

    MarkMatching(list, "*.*", 1, false);
    MarkMatching(list, "*.txt;*.DOC", 0, false);
    EXPECT_EQ(list.FMarkedCount, 3);
    EXPECT_EQ(list.FMarkedSize, 1239);
    MarkMatching(list, "", 1, false);
    EXPECT_EQ(list.FMarkedCount, 3);

    list.GetFileItem(4)->Marked = false;
    list.RecountTotals();
    EXPECT_EQ(list.FMarkedCount, 2);
    EXPECT_EQ(list.FMarkedSize, 1234);
}

TEST(Marking, InvertInDriveListMarksFixedDisksOnly) {
    TKITEMSSTRUC list;
    Fill(list, {{"/", ikDrive}, {"/media/usb/", ikDrive}, {"/home/", ikDrive}, {"<TYPE>", ikFolder}});
    list.GetFileItem(0)->Attr = 3;
    list.GetFileItem(1)->Attr = 2;
    list.GetFileItem(2)->Attr = 3;
    MarkMatching(list, "*.*", 2, true);
    EXPECT_EQ(list.FMarkedCount, 2);
    EXPECT_FALSE(list.GetFileItem(1)->Marked);
    MarkMatching(list, "*.*", 2, true);
    EXPECT_EQ(list.FMarkedCount, 2) << "pressing it again marks nothing new";
}

TEST(ItemsHolder, CursorAndClear) {
    TKITEMSSTRUC list("/home/ann/");
    int changes = 0, forced = 0, homes = 0;
    list.OnCursorChange = [&](bool force) { force ? ++forced : ++changes; };
    list.OnCursorHome = [&] { ++homes; };
    Fill(list, {{"a"}, {"b"}});
    EXPECT_EQ(forced, 1);
    EXPECT_EQ(homes, 1);
    list.SetItemIndex(5);
    EXPECT_EQ(list.FItemIndex, 5) << "the index is stored unchanged";
    EXPECT_EQ(list.FCurrentItem, nullptr);
    list.SetItemIndex(1);
    EXPECT_EQ(list.FCurrentItem->Name, "b");
    EXPECT_EQ(changes, 2);

    TKFiles item;
    item.Name = "plain";
    EXPECT_EQ(item.Caption(), "plain");
    EXPECT_EQ(item.Folder(), "");
    item.SetCaption("plain");
    EXPECT_FALSE(item.Extra) << "a caption equal to the name costs nothing";
    item.SetCaption("Documents");
    EXPECT_EQ(item.Caption(), "Documents");
}

TEST(ItemsHolder, FindExactAndBest) {
    TKITEMSSTRUC list;
    Fill(list, {{"..", ikUpFolder}, {"README.TXT"}, {"Reader.c"}, {"readme.txt"}, {"src", ikFolder}});
    list.GetFileItem(4)->SetCaption("Sources");
    const struct {
        const char* Name;
        int Exact, ExactByCaption, Best;
    } cases[] = {
        {"readme.txt", 3, 3, 1}, // exact is case-sensitive; best takes the first in any case
        {"READ", -1, -1, 1},     // the first caption starting with READ
        {"Readx", -1, -1, 1},    // a longer shared prefix only wins when strictly longer
        {"src", 4, -1, 4},       // captions may differ from names
        {"zzz", -1, -1, -1},     // no first character in common
        {"", -1, -1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(list.FindIndex(c.Name, false), c.Exact);
        EXPECT_EQ(list.FindIndex(c.Name, true), c.ExactByCaption);
        EXPECT_EQ(list.FindBestIndex(c.Name), c.Best);
    }
}

} // namespace
} // namespace ks
