#include "shell/TypePath.h"

#include "foundation/System.h"
#include "support/FakeSystem.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <optional>
#include <string>

namespace ks {
namespace {

// Real folders on the real disk; only the home folder and the macros' folders come from a fake
// desktop, so "~" and ".doc" land inside the tree.
class TypePathTest : public ::testing::Test {
protected:
    void SetUp() override {
        FDisk = &FileSystem();
        FTree.Folder("work/Projects/Src");
        FTree.Folder("work/Projects/MiXed Case");
        FTree.Folder("work/Projects/~Docs");
        FTree.Folder("work/Projects/\xff\xfe");
        FTree.File("work/Projects/notes.txt", "x");
        FTree.Folder("home/Docs");
        FTree.Folder("home/Documents");
        ASSERT_EQ(::symlink((FTree / "home/Docs").c_str(), (FTree / "work/Projects/link").c_str()), 0);
        FSystem.FHomeDir = FTree / "home";
        SetPlatform(&FSystem, FDisk);
    }
    void TearDown() override { SetPlatform(nullptr, FDisk); }

    std::string Active() const { return FTree / "work/Projects"; }

    test::TempTree FTree;
    test::FakeSystem FSystem;
    TKFileSystem* FDisk = nullptr;
};

TEST_F(TypePathTest, TypedTextNamesAFolderOrNothing) {
    struct TCase {
        std::string Typed;
        std::optional<std::string> Expected; // relative to the tree; nothing when not found
    };
    const TCase cases[] = {
        {"Src", "work/Projects/Src"},
        {"./Src/", "work/Projects/Src"},
        {"..//Projects/./Src/.", "work/Projects/Src"},
        // Linux names are case-sensitive: the case typed is the case kept and looked up.
        {"MiXed Case", "work/Projects/MiXed Case"},
        {"mixed case", std::nullopt},
        {"src", std::nullopt},
        {"~", "home"},
        {"~/", "home"},
        {"~/Docs", "home/Docs"},
        {"~/Docs/../Documents", "home/Documents"},
        // Only a leading "~" alone or before "/" is the home folder; "~Docs" is a name here.
        {"~Docs", "work/Projects/~Docs"},
        {".doc", "home/Documents"},
        {".DoC", "home/Documents"},
        // ".." goes up by the text, not through the link's target nor through the disk.
        {"link", "work/Projects/link"},
        {"link/..", "work/Projects"},
        {"Src/Missing/..", "work/Projects/Src"},
        {"\xff\xfe", "work/Projects/\xff\xfe"},
        {"notes.txt", std::nullopt},
        {"Missing", std::nullopt},
        {"Src/Missing", std::nullopt},
        {"", std::nullopt},
        {std::string("Src\0x", 5), std::nullopt},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Typed);
        const std::optional<std::string> expected =
            c.Expected ? std::optional<std::string>(FTree / *c.Expected) : std::nullopt;
        EXPECT_EQ(ResolveTypedPath(c.Typed, Active()), expected);
        // The active folder may come with the panel's trailing "/".
        EXPECT_EQ(ResolveTypedPath(c.Typed, Active() + "/"), expected);
    }
}

TEST_F(TypePathTest, AbsoluteTextsAndTheRoot) {
    EXPECT_EQ(ResolveTypedPath(FTree / "work/../home//Docs/", Active()), FTree / "home/Docs");
    EXPECT_EQ(ResolveTypedPath(FTree.Path(), ""), FTree.Path());
    EXPECT_EQ(ResolveTypedPath("/", Active()), "/");
    // Climbing past the root stays there.
    std::string up;
    for (int i = 0; i < 64; ++i)
        up += "../";
    EXPECT_EQ(ResolveTypedPath(up, Active()), "/");
    EXPECT_EQ(ResolveTypedPath("/../..", Active()), "/");
    // A relative text needs an absolute active folder to start from.
    EXPECT_EQ(ResolveTypedPath("Src", ""), std::nullopt);
    EXPECT_EQ(ResolveTypedPath("Src", "work/Projects"), std::nullopt);
}

TEST_F(TypePathTest, AMacroWithoutAFolderFindsNothing) {
    // A desktop that knows no documents folder: the macro must not fall back to the active one.
    struct TNoDocuments : test::FakeSystem {
        std::string ShellFolder(std::string_view) const override { return {}; }
    } system;
    SetPlatform(&system, FDisk);
    EXPECT_EQ(ResolveTypedPath(".doc", Active()), std::nullopt);
}

TEST(NormalizeAbsolutePathTest, ResolvesByTheTextAlone) {
    struct TCase {
        const char* Path;
        const char* Expected;
    };
    const TCase cases[] = {
        {"/", "/"},
        {"//", "/"},
        {"/a/b/", "/a/b"},
        {"/a//b", "/a/b"},
        {"/a/./b", "/a/b"},
        {"/a/b/..", "/a"},
        {"/a/../../b", "/b"},
        {"/..", "/"},
        {"/a/...", "/a/..."},
        {"/a/.b/..c", "/a/.b/..c"},
        {"/A/b/../B", "/A/B"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Path);
        EXPECT_EQ(NormalizeAbsolutePath(c.Path), c.Expected);
    }
}

} // namespace
} // namespace ks
