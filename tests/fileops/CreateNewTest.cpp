// Create new on real folders: folders and empty text files made, existing text files left
// untouched, and every refusal explained.

#include "fileops/CreateNew.h"

#include "foundation/System.h"

#include "support/TempTree.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace ks::test {
namespace {

namespace fs = std::filesystem;

TEST(CreateNewTest, MakesFoldersAndFilesAndExplainsRefusals) {
    TempTree tree;
    tree.Folder("Taken");
    tree.File("notes.txt", "keep me");
    ASSERT_EQ(::symlink("missing-target", (tree / "dangling").c_str()), 0);
    ASSERT_EQ(::symlink("notes.txt", (tree / "linked.txt").c_str()), 0);

    struct Case {
        const char* What;
        std::string Name;
        TCreateNewKind Kind;
        TCreateNewOutcome::TState State;
        const char* MessagePart; // nullptr: no message
    };
    using K = TCreateNewKind;
    using S = TCreateNewOutcome;
    const std::vector<Case> cases = {
        {"new folder", "NEW", K::cnFolder, S::csCreated, nullptr},
        {"taken folder name", "Taken", K::cnFolder, S::csFailed, "exists already"},
        {"folder over a file", "notes.txt", K::cnFolder, S::csFailed, "exists already"},
        {"new text file", "todo.txt", K::cnTextFile, S::csCreated, nullptr},
        {"existing text file", "notes.txt", K::cnTextFile, S::csExisting, nullptr},
        {"link to a text file", "linked.txt", K::cnTextFile, S::csExisting, nullptr},
        {"text file over a folder", "Taken", K::cnTextFile, S::csFailed, "exists already"},
        {"text file over a dangling link", "dangling", K::cnTextFile, S::csFailed, "exists already"},
        {"empty name", "", K::cnFolder, S::csFailed, "cannot be a name"},
        {"dot", ".", K::cnTextFile, S::csFailed, "cannot be a name"},
        {"dot dot", "..", K::cnFolder, S::csFailed, "cannot be a name"},
        {"slash", "Taken/inner", K::cnFolder, S::csFailed, "cannot be a name"},
        {"slash in a file name", "../escape.txt", K::cnTextFile, S::csFailed, "cannot be a name"},
        {"NUL", std::string("a\0b", 3), K::cnTextFile, S::csFailed, "cannot be a name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        // The folder is given both ways a panel path comes.
        const std::string folder = c.Name == "todo.txt" ? tree.Path() + "/" : tree.Path();
        const TCreateNewOutcome outcome = CreateNewItem(FileSystem(), folder, c.Name, c.Kind);
        EXPECT_EQ(outcome.State, c.State);
        if (c.MessagePart == nullptr)
            EXPECT_EQ(outcome.Message, "");
        else
            EXPECT_NE(outcome.Message.find(c.MessagePart), std::string::npos) << outcome.Message;
    }

    EXPECT_TRUE(fs::is_directory(tree / "NEW"));
    EXPECT_TRUE(fs::is_regular_file(tree / "todo.txt"));
    EXPECT_EQ(fs::file_size(tree / "todo.txt"), 0u);
    // Nothing existing was cut or replaced, and no link was followed to make its target.
    EXPECT_EQ(TempTree::ReadFile(tree / "notes.txt"), "keep me");
    EXPECT_TRUE(fs::is_directory(tree / "Taken"));
    EXPECT_TRUE(fs::is_empty(tree / "Taken"));
    EXPECT_FALSE(fs::exists(tree / "missing-target"));
    EXPECT_FALSE(fs::exists(tree.Path() + "/../escape.txt"));
    EXPECT_FALSE(fs::exists(tree / "a"));
}

TEST(CreateNewTest, ReadOnlyFolderAndMissingFolderSayWhy) {
    TempTree tree;
    const std::string locked = tree.Folder("locked");
    ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
    const std::string failure = RunUnprivileged({tree.Path()}, [&]() -> std::string {
        for (TCreateNewKind kind : {TCreateNewKind::cnFolder, TCreateNewKind::cnTextFile}) {
            const TCreateNewOutcome outcome = CreateNewItem(FileSystem(), locked, "x", kind);
            KS_CHECK(outcome.State == TCreateNewOutcome::csFailed);
            KS_CHECK(outcome.Message.find("not permitted") != std::string::npos);
        }
        return {};
    });
    EXPECT_EQ(failure, "");
    EXPECT_FALSE(fs::exists(locked + "/x"));
    ::chmod(locked.c_str(), 0755);

    const TCreateNewOutcome gone = CreateNewItem(FileSystem(), tree / "gone", "x", TCreateNewKind::cnFolder);
    EXPECT_EQ(gone.State, TCreateNewOutcome::csFailed);
    EXPECT_NE(gone.Message.find("Cannot create 'x'"), std::string::npos) << gone.Message;
}

} // namespace
} // namespace ks::test
