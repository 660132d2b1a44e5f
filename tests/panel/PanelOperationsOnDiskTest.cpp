// Counting, deleting, searching and comparing on real folders.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "controls/MessageBox.h"
#include "panel/KMYFILEPANEL.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxSystem.h"
#include "support/ScriptedAnswers.h"
#include "support/TempTree.h"
#include "support/Unprivileged.h"

namespace ks {
namespace {

namespace fs = std::filesystem;
using test::TempTree;

// What a panel sent, in order.
struct TRecorded {
    std::vector<std::string> Progress;
    std::vector<std::string> Refresh;
    std::vector<std::string> InfoList;

    void Attach(TKMYFILEPANEL& panel) {
        panel.OnAfterChange = [this](TKAfterChange what, const std::string& text) {
            if (what == acProgress)
                Progress.push_back(text);
        };
        panel.OnAfterRefresh = [this](const std::string& text) { Refresh.push_back(text); };
        panel.OnInfoList = [this](const std::string& text) { InfoList.push_back(text); };
    }
};

using test::TScriptedAnswers;

class OperationsOnDisk : public ::testing::Test {
protected:
    void SetUp() override { SetPlatform(&FSystem, &FFileSystem); }
    void TearDown() override { SetPlatform(nullptr, nullptr); }

    std::unique_ptr<TKMYFILEPANEL> Panel(const std::string& folder) {
        auto panel = std::make_unique<TKMYFILEPANEL>(FOptions);
        panel->FFolderItems.FPath = folder;
        panel->ReadPanel(false, false);
        EXPECT_EQ(panel->FFolderItems.FPath, folder);
        return panel;
    }
    static void Mark(TKMYFILEPANEL& panel, const std::vector<std::string>& names) {
        for (const std::string& name : names) {
            const int index = panel.FItemsStruc->FindIndex(name, false);
            ASSERT_GE(index, 0) << name;
            panel.FItemsStruc->MarkItem(panel.FItemsStruc->GetFileItem(index), 0);
        }
    }
    static void Cursor(TKMYFILEPANEL& panel, const std::string& name) {
        const int index = panel.FItemsStruc->FindIndex(name, false);
        ASSERT_GE(index, 0) << name;
        panel.FItemsStruc->SetItemIndex(index);
    }
    static void DeleteWith(TKMYFILEPANEL& panel, bool toRecycle = false, bool wipe = false) {
        panel.OnDeleteItems = [=](bool& del, bool& trash, bool& erase) {
            del = true;
            trash = toRecycle;
            erase = wipe;
        };
        panel.DeleteItems();
    }
    static bool Exists(const std::string& path) {
        std::error_code ignored;
        return fs::exists(fs::symlink_status(path, ignored));
    }

    TKLinuxSystem FSystem;
    TKLinuxFileSystem FFileSystem;
    TPanelOptions FOptions;
    TempTree FTree;
};

TEST_F(OperationsOnDisk, CountsTheCursorItemAndKeepsItMarked) {
    FTree.File("f/a", std::string(100, 'a'));
    FTree.File("f/b", std::string(200, 'b'));
    FTree.File("f/sub/c", std::string(50, 'c'));
    FTree.File("one.bin", std::string(1234, 'x'));
    auto panel = Panel(FTree.Path());
    TRecorded events;
    events.Attach(*panel);

    Cursor(*panel, "f");
    panel->CountSizes();
    ASSERT_EQ(events.InfoList.size(), 1u);
    EXPECT_EQ(events.InfoList[0], "Count result: 2 folders and 3 files with size 350 B");
    const TKFiles* f = panel->FItemsStruc->GetFileItem(panel->FItemsStruc->FindIndex("f", false));
    EXPECT_TRUE(f->Marked);
    EXPECT_EQ(f->Size, 350);
    EXPECT_EQ(panel->InfoText(*f), "350 B");
    EXPECT_EQ(events.Refresh.front(), "WORKING... ");
    EXPECT_EQ(events.Refresh.back(), FTree.Path());
    EXPECT_EQ(events.Progress.back(), "COUNTING... |2|3| = 350 B");
    EXPECT_EQ(panel->FState, 0u);

    SCOPED_TRACE("a file");
    panel->FItemsStruc->MarkItem(const_cast<TKFiles*>(f), 1);
    Cursor(*panel, "one.bin");
    panel->CountSizes();
    EXPECT_EQ(events.InfoList.back(), "Count result: 0 folders and 1 files with size 1 234 B");

    SCOPED_TRACE("the up-folder counts nothing");
    panel->FItemsStruc->MarkItem(
        panel->FItemsStruc->GetFileItem(panel->FItemsStruc->FindIndex("one.bin", false)), 1);
    Cursor(*panel, "..");
    panel->CountSizes();
    EXPECT_EQ(events.InfoList.back(), "Count result: 0 folders and 0 files with size 0 B");
    EXPECT_EQ(panel->FItemsStruc->FMarkedCount, 0);
}

TEST_F(OperationsOnDisk, CountProgressEveryEntryUpToAHundredThenEveryFifth) {
    for (int i = 0; i < 150; ++i)
        FTree.File("f/file" + std::to_string(i), "x");
    FTree.Folder("f/deeper/deepest");
    auto panel = Panel(FTree.Path());
    TRecorded events;
    events.Attach(*panel);
    Cursor(*panel, "f");
    panel->CountSizes();
    // 153 entries: f, its 150 files and 1 folder, and the folder below that one.
    EXPECT_EQ(events.Progress.size(), 100u + 10u); // 1..100, then 105, 110, ..., 150
    // The last one sent counts 150 entries (which ones depends on the listing order).
    int folders = 0;
    int files = 0;
    ASSERT_EQ(std::sscanf(events.Progress.back().c_str(), "COUNTING... |%d|%d|", &folders, &files), 2);
    EXPECT_EQ(folders + files, 150);
    EXPECT_EQ(events.InfoList.back(), "Count result: 3 folders and 150 files with size 150 B");
    // After each direct sub-folder of the counted folder, its name is shown.
    EXPECT_EQ(std::count(events.Refresh.begin(), events.Refresh.end(), "WORKING... [f]"), 1);
}

TEST_F(OperationsOnDisk, DeleteAnswersToTheNonEmptyFolderQuestion) {
    struct TCase {
        const char* Name;
        std::vector<int> Answers;
        std::vector<std::string> Left; // of A, B, E, x
    };
    const std::vector<TCase> cases = {
        {"Yes to all", {mrYesToAll}, {}},
        {"No to all", {mrNoToAll}, {"A", "B"}},
        {"Yes then No", {mrYes, mrNo}, {"B"}},
        {"Abort", {mrAbort}, {"A", "B", "E", "x"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TempTree tree;
        tree.File("A/a1", "1");
        tree.File("A/inner/a2", "2");
        tree.File("B/b1", "3");
        tree.Folder("E");
        tree.File("x", "4");
        tree.File("kept", "5");
        auto panel = Panel(tree.Path());
        Mark(*panel, {"A", "B", "E", "x"});
        TScriptedAnswers answers;
        const char* names[] = {"A", "B"};
        for (std::size_t i = 0; i < c.Answers.size(); ++i)
            answers.Script.emplace_back(std::string("The following folder will be deleted: ") + names[i],
                                        c.Answers[i]);
        answers.Attach(*panel);
        TRecorded events;
        events.Attach(*panel);
        DeleteWith(*panel);
        EXPECT_TRUE(answers.Script.empty());
        for (const char* name : {"A", "B", "E", "x"}) {
            const bool left = std::find(c.Left.begin(), c.Left.end(), name) != c.Left.end();
            EXPECT_EQ(Exists(tree / name), left) << name;
            // The panel was re-read: what is gone is off the list.
            EXPECT_EQ(panel->FItemsStruc->FindIndex(name, false) >= 0, left) << name;
        }
        EXPECT_TRUE(Exists(tree / "kept"));
        // Processed items are unmarked; those an abort left alone stay marked.
        EXPECT_EQ(panel->FItemsStruc->FMarkedCount, c.Answers[0] == mrAbort ? 3 : 0);
        EXPECT_EQ(events.Refresh.front(), "WORKING... ");
        EXPECT_EQ(panel->FState, 0u);
    }
}

TEST_F(OperationsOnDisk, ReadOnlyFolderNeedsAYesAndReadOnlyFileGoesWithoutQuestion) {
    FTree.File("ro/inside", "1");
    FTree.File("rofile", "2");
    const std::string folder = FTree.Path();
    ::chmod((FTree / "rofile").c_str(), 0444);
    ::chmod((FTree / "ro").c_str(), 0555);
    // Enter answers with the pre-selected button: the read-only question pre-selects No.
    constexpr int Enter = -1;
    const std::string failure = test::RunUnprivileged({folder}, [&]() -> std::string {
        for (const int answer : {Enter, mrYes}) {
            TPanelOptions options;
            TKMYFILEPANEL panel(options);
            panel.FFolderItems.FPath = folder;
            panel.ReadPanel(false, false);
            for (const char* name : {"ro", "rofile"}) {
                const int index = panel.FFolderItems.FindIndex(name, false);
                KS_CHECK(index >= 0);
                panel.FFolderItems.MarkItem(panel.FFolderItems.GetFileItem(index), 0);
            }
            std::vector<std::string> asked;
            int readOnlyButtons = 0;
            int readOnlyDefault = -1;
            panel.AskUser = [&](const std::string& text, int, int buttons, int defaultButton) {
                asked.push_back(text);
                if (asked.size() == 1)
                    return mrYes;
                readOnlyButtons = buttons;
                readOnlyDefault = defaultButton;
                return answer != Enter ? answer
                                       : MessageButtons[MessageButtonOfDefault(defaultButton)].ModalResult;
            };
            panel.OnDeleteItems = [](bool& del, bool&, bool&) { del = true; };
            panel.DeleteItems();
            KS_CHECK(asked.size() == 2);
            KS_CHECK(asked[0] == "The following folder will be deleted: ro");
            KS_CHECK(asked[1] == "Folder '" + folder + "/ro' is read-only. Delete?");
            KS_CHECK(readOnlyButtons == (mbYes | mbNo | mbAbort));
            KS_CHECK(MessageButtonOfDefault(readOnlyDefault) >= 0 &&
                     MessageButtons[MessageButtonOfDefault(readOnlyDefault)].ModalResult == mrNo);
            KS_CHECK(::access((folder + "/rofile").c_str(), F_OK) != 0);
            const bool roLeft = ::access((folder + "/ro/inside").c_str(), F_OK) == 0;
            KS_CHECK(roLeft == (answer == Enter));
            if (answer == Enter) {
                // The refused folder keeps its protection.
                struct stat st {};
                KS_CHECK(::stat((folder + "/ro").c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0);
                ::close(::open((folder + "/rofile").c_str(), O_CREAT | O_WRONLY, 0444));
            }
        }
        return {};
    });
    EXPECT_EQ(failure, "");
}

TEST_F(OperationsOnDisk, ToRecycleMovesEachItemToTheTrash) {
    const std::string dataHome = FTree.Folder("data");
    const char* oldValue = std::getenv("XDG_DATA_HOME");
    const std::string saved = oldValue != nullptr ? oldValue : "";
    ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
    FTree.File("work/folder/inner.txt", "inner");
    FTree.File("work/file.txt", "file");
    auto panel = Panel(FTree / "work");
    Mark(*panel, {"folder", "file.txt"});
    TScriptedAnswers answers;
    answers.Script.emplace_back("The following folder will be deleted: folder", mrYes);
    answers.Attach(*panel);
    DeleteWith(*panel, true);
    if (oldValue != nullptr)
        ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");
    EXPECT_FALSE(Exists(FTree / "work/folder"));
    EXPECT_FALSE(Exists(FTree / "work/file.txt"));
    // The whole folder went at once, with its contents, and can be restored.
    EXPECT_EQ(TempTree::ReadFile(dataHome + "/Trash/files/folder/inner.txt"), "inner");
    EXPECT_EQ(TempTree::ReadFile(dataHome + "/Trash/files/file.txt"), "file");
    EXPECT_TRUE(Exists(dataHome + "/Trash/info/file.txt.trashinfo"));
}

TEST_F(OperationsOnDisk, WipeOverwritesTheContentsBeforeRemoving) {
    const std::string content(70000, 'S');
    const std::string file = FTree.File("work/secret", content);
    // A descriptor kept open shows what the wipe left in the file after its name is gone.
    const int witness = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(witness, 0);
    auto panel = Panel(FTree / "work");
    Cursor(*panel, "secret");
    DeleteWith(*panel, false, true);
    EXPECT_FALSE(Exists(file));
    std::string left(content.size() + 1, '\0');
    const ssize_t got = ::pread(witness, left.data(), left.size(), 0);
    ::close(witness);
    ASSERT_EQ(got, static_cast<ssize_t>(content.size()));
    left.resize(content.size());
    EXPECT_EQ(left.find("SSSSSSSS"), std::string::npos);
}

TEST_F(OperationsOnDisk, SymlinkedFoldersAreRemovedAsLinks) {
    FTree.File("target/precious", "keep me");
    FTree.Folder("work/tree");
    fs::create_directory_symlink(FTree / "target", FTree / "work/tree/link");
    fs::create_directory_symlink(FTree / "target", FTree / "work/toplink");
    auto panel = Panel(FTree / "work");
    Mark(*panel, {"tree", "toplink"});
    TScriptedAnswers answers;
    answers.Script.emplace_back("The following folder will be deleted: tree", mrYes);
    answers.Attach(*panel);
    TRecorded events;
    events.Attach(*panel);
    DeleteWith(*panel);
    EXPECT_FALSE(Exists(FTree / "work/tree"));
    EXPECT_FALSE(Exists(FTree / "work/toplink"));
    EXPECT_EQ(TempTree::ReadFile(FTree / "target/precious"), "keep me");
    // tree is a folder; the two links are files.
    EXPECT_EQ(events.Progress.back(), "DELETING... |1|2|");
}

TEST_F(OperationsOnDisk, FindsByMaskAndContents) {
    FTree.File("a.txt", "xABCx");
    FTree.File("b.txt", "aabc");
    FTree.File("c.dat", "abc");
    FTree.File("sub/d.txt", "--abc--");
    FTree.File(".hidden/e.txt", "abc");
    FTree.File("sub/f.txt", "nothing here");
    // "ab" ends the first 32768-byte block, "c" starts the second.
    FTree.File("sub/big.txt", std::string(32766, '.') + "abc" + std::string(40000, '.'));
    struct TCase {
        bool CaseSensitive;
        std::vector<std::string> Found;
    };
    for (const TCase& c :
         {TCase{false, {"a.txt", "b.txt", "big.txt", "d.txt"}}, TCase{true, {"b.txt", "big.txt", "d.txt"}}}) {
        SCOPED_TRACE(c.CaseSensitive ? "case counts" : "case ignored");
        auto panel = Panel(FTree.Path());
        TRecorded events;
        events.Attach(*panel);
        panel->FindFiles(FTree.Path(), "*.txt", "abc", c.CaseSensitive, true, false);
        ASSERT_EQ(panel->PanelType(), ptFindResult);
        const TKITEMSSTRUC& found = panel->FFindItems;
        ASSERT_GE(found.Count(), 1);
        EXPECT_EQ(found.GetFileItem(0)->Kind, ikUpFolder);
        EXPECT_EQ(found.GetFileItem(0)->Name, FTree.Path());
        std::vector<std::string> names;
        for (int i = 1; i < found.Count(); ++i) {
            names.push_back(found.GetFileItem(i)->Name);
            EXPECT_EQ(panel->ItemFullName(i), found.GetFileItem(i)->Folder() + "/" + names.back());
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, c.Found);
        EXPECT_EQ(events.Refresh.back(), "FINDRESULT");
        EXPECT_NE(std::find(events.Refresh.begin(), events.Refresh.end(), "WORKING... [sub]"),
                  events.Refresh.end());
        EXPECT_NE(std::find(events.Progress.begin(), events.Progress.end(),
                            "SEARCHING... found: |0|" + std::to_string(c.Found.size()) + "|"),
                  events.Progress.end());
        // The big file is read in two blocks and reports the part read.
        EXPECT_NE(std::find_if(events.Progress.begin(), events.Progress.end(),
                               [](const std::string& t) { return t.find("%|") != std::string::npos; }),
                  events.Progress.end());
        EXPECT_EQ(panel->FState, 0u);
    }
}

TEST_F(OperationsOnDisk, SearchStaysOnItsFileSystemAtEveryDepth) {
    FTree.File("a/hit.txt", "x");
    FTree.File("a/b/hit.txt", "x");
    const std::string mount = FTree / "a/b/mounted";
    fs::create_directories(mount);
    // Another file system two levels down, as a USB disk under /media/user sits.
    ASSERT_EQ(::mount("ks-test", mount.c_str(), "tmpfs", 0, "size=1m"), 0)
        << "mounting a tmpfs needs root, as the tests run in CI: " << std::strerror(errno);
    std::ofstream(mount + "/hit.txt") << "x";
    auto panel = Panel(FTree.Path());
    panel->FindFiles(FTree.Path(), "hit.txt", "", false, true, false);
    std::vector<std::string> folders;
    for (int i = 1; i < panel->FFindItems.Count(); ++i)
        folders.push_back(panel->FFindItems.GetFileItem(i)->Folder());
    ::umount2(mount.c_str(), MNT_DETACH);
    std::sort(folders.begin(), folders.end());
    EXPECT_EQ(folders, (std::vector<std::string>{FTree / "a", FTree / "a/b"}));
}

TEST_F(OperationsOnDisk, SearchWithoutMatchLeavesThePanelAsItWas) {
    FTree.File("a.txt", "text");
    FTree.Folder("folder");
    auto panel = Panel(FTree.Path());
    const int count = panel->FItemsStruc->Count();
    panel->FindFiles(FTree.Path(), "*.none;*.zip", "", false, true, false);
    EXPECT_EQ(panel->PanelType(), ptFolder);
    EXPECT_EQ(panel->FItemsStruc, &panel->FFolderItems);
    EXPECT_EQ(panel->FItemsStruc->Count(), count);

    SCOPED_TRACE("a folder matches a mask, never a text");
    panel->FindFiles(FTree.Path(), "fold*", "", false, true, false);
    ASSERT_EQ(panel->PanelType(), ptFindResult);
    EXPECT_EQ(panel->FFindItems.Count(), 2);
    EXPECT_EQ(panel->FFindItems.GetFileItem(1)->Kind, ikFolder);
}

TEST_F(OperationsOnDisk, ComparingByNameOnlyIgnoresCase) {
    FTree.File("left/README.TXT", "one");
    FTree.File("left/only-left", "x");
    FTree.File("right/readme.txt", "a different size");
    FTree.File("right/only-right", "x");
    auto left = Panel(FTree / "left");
    auto right = Panel(FTree / "right");
    left->FOtherPanel = right.get();
    right->FOtherPanel = left.get();
    left->ComparePanels(true, false, false, false);
    const auto marked = [](const TKMYFILEPANEL& panel) {
        std::vector<std::string> names;
        for (const auto& item : panel.FItemsStruc->FItems)
            if (item->Marked)
                names.push_back(item->Name);
        return names;
    };
    EXPECT_EQ(marked(*left), std::vector<std::string>{"README.TXT"});
    EXPECT_EQ(marked(*right), std::vector<std::string>{"readme.txt"});
    EXPECT_EQ(left->FState, 0u);
    EXPECT_EQ(right->FState, 0u);

    SCOPED_TRACE("and by size as well");
    left->FItemsStruc->MarkItem(
        left->FItemsStruc->GetFileItem(left->FItemsStruc->FindIndex("README.TXT", false)), 1);
    right->FItemsStruc->MarkItem(
        right->FItemsStruc->GetFileItem(right->FItemsStruc->FindIndex("readme.txt", false)), 1);
    left->ComparePanels(true, true, false, false);
    EXPECT_TRUE(marked(*left).empty());
}

TEST_F(OperationsOnDisk, ComparingContentsReadsTheFilesAndListsTheFolders) {
    // Same-sized files differ in their last byte past the first block, and in the first byte.
    const std::string big(200 * 1024, 'x');
    FTree.File("left/same.bin", big);
    FTree.File("right/same.bin", big);
    FTree.File("left/lastbyte.bin", big + "a");
    FTree.File("right/lastbyte.bin", big + "b");
    FTree.File("left/first.txt", "abc");
    FTree.File("right/first.txt", "xbc");
    FTree.File("left/empty", "");
    FTree.File("right/empty", "");
    FTree.File("left/sizes", "short");
    FTree.File("right/sizes", "longer text");
    FTree.File("left/names/a", "1");
    FTree.File("left/names/b", "2");
    FTree.File("right/names/a", "other bytes");
    FTree.File("right/names/b", "");
    FTree.File("left/differ/a", "");
    FTree.File("right/differ/c", "");
    FTree.Folder("left/emptyfolder");
    FTree.Folder("right/emptyfolder");
    FTree.File("left/kind", "a file here");
    FTree.Folder("right/kind");
    auto left = Panel(FTree / "left");
    auto right = Panel(FTree / "right");
    left->FOtherPanel = right.get();
    right->FOtherPanel = left.get();
    const auto marked = [](const TKMYFILEPANEL& panel) {
        std::vector<std::string> names;
        for (const auto& item : panel.FItemsStruc->FItems)
            if (item->Marked)
                names.push_back(item->Name);
        std::sort(names.begin(), names.end());
        return names;
    };
    struct TCase {
        const char* Name;
        bool FolderContents;
        bool FileContents;
        std::vector<std::string> Equal;
    };
    const std::vector<TCase> cases = {
        {"by name only",
         false,
         false,
         {"differ", "empty", "emptyfolder", "first.txt", "kind", "lastbyte.bin", "names", "same.bin",
          "sizes"}},
        {"file contents", false, true, {"differ", "empty", "emptyfolder", "names", "same.bin"}},
        {"folder contents",
         true,
         false,
         {"empty", "emptyfolder", "first.txt", "lastbyte.bin", "names", "same.bin", "sizes"}},
        {"both", true, true, {"empty", "emptyfolder", "names", "same.bin"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        left->UnmarkAll();
        right->UnmarkAll();
        TCompareOptions options;
        options.ByFolderContents = c.FolderContents;
        options.ByFileContents = c.FileContents;
        left->ComparePanels(options);
        EXPECT_EQ(marked(*left), c.Equal);
        EXPECT_EQ(marked(*right), c.Equal);
        EXPECT_EQ(left->FState, 0u);
    }

    SCOPED_TRACE("contents are not compared across a FIFO");
    ASSERT_EQ(mkfifo((FTree / "left/pipe").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((FTree / "right/pipe").c_str(), 0600), 0);
    left->ReadPanel(true, true);
    right->ReadPanel(true, true);
    left->UnmarkAll();
    right->UnmarkAll();
    TCompareOptions options;
    options.ByFileContents = true;
    left->ComparePanels(options);
    const std::vector<std::string> equal = marked(*left);
    EXPECT_EQ(std::count(equal.begin(), equal.end(), "pipe"), 0);
    EXPECT_EQ(std::count(equal.begin(), equal.end(), "same.bin"), 1);
}

} // namespace
} // namespace ks
