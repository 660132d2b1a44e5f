// The tree walk on real folders: no depth limit, a bounded number of open folders, and no way for
// a folder moved during the walk to redirect it.
#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/TreeWalk.h"
#include "platform/LinuxFileSystem.h"
#include "support/TempTree.h"

namespace ks {
namespace {

namespace fs = std::filesystem;
using test::TempTree;

int OpenDescriptors() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir) != nullptr)
            ++count;
        ::closedir(dir);
    }
    return count;
}

TEST(TreeWalk, DepthIsNoLimitAndOpenFoldersStayFew) {
    TempTree tree(TempTree::MemoryBase());
    const int depth = 3000;
    ASSERT_TRUE(tree.DeepChain(".", depth, "deep"));
    TKLinuxFileSystem files;
    Result<std::unique_ptr<TKFolder>> top = files.OpenFolder(tree.Path());
    ASSERT_TRUE(top);

    const int before = OpenDescriptors();
    int mostOpen = 0;
    int folders = 0;
    int left = 0;
    std::string deepestFile;
    TTreeWalk walk;
    walk.OnEntry = [&](TKFolder&, const TWalkEntry& entry) {
        mostOpen = std::max(mostOpen, OpenDescriptors() - before);
        if (entry.Type == TEntryType::etFolder) {
            ++folders;
            return TWalkStep::wsEnter;
        }
        deepestFile = entry.Path();
        EXPECT_EQ(entry.Depth, depth + 1);
        return TWalkStep::wsNext;
    };
    walk.OnLeave = [&](TKFolder&, const TWalkEntry&, bool complete) {
        EXPECT_TRUE(complete);
        ++left;
        return TWalkStep::wsNext;
    };
    walk.OnError = [&](TKFolder*, const TWalkEntry& entry, const TError& error) {
        ADD_FAILURE() << entry.Path().substr(0, 80) << ": " << error.Detail;
        return TWalkStep::wsStop;
    };
    EXPECT_TRUE(walk.Run(**top, tree.Path()));
    EXPECT_EQ(folders, depth);
    EXPECT_EQ(left, depth);
    EXPECT_EQ(deepestFile.size(), tree.Path().size() + depth * 3 + 2);
    EXPECT_LE(mostOpen, static_cast<int>(walk.FMaxOpen) + 2);
    EXPECT_EQ(OpenDescriptors(), before) << "every folder closed";
}

// The names of a folder in the order readdir gives them (the order a walk visits them in).
std::vector<std::string> ListingOrder(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            if (std::string_view(entry->d_name) != "." && std::string_view(entry->d_name) != "..")
                names.emplace_back(entry->d_name);
        ::closedir(dir);
    }
    return names;
}

TEST(TreeWalk, AFolderMovedAwayBelowALetGoFolderStopsTheWalk) {
    // top/a/b/c/d/f with only three folders kept open: coming back up from c, the walk has to
    // reopen b through c's "..". While the walk is inside d, c is moved into "elsewhere", which
    // holds files named like b's: going on from c's new ".." would take "elsewhere" for b and
    // remove its files.
    TempTree tree;
    tree.File("top/a/b/c/d/f", "1");
    // Enough files in b that some come after c in the listing (the order is the file system's).
    std::vector<std::string> after;
    for (int i = 0; after.empty() && i < 200; ++i) {
        tree.File("top/a/b/z" + std::to_string(i), "junk");
        const std::vector<std::string> order = ListingOrder(tree / "top/a/b");
        const auto c = std::find(order.begin(), order.end(), "c");
        after.assign(c + 1, order.end());
    }
    ASSERT_FALSE(after.empty());
    for (const std::string& name : after)
        tree.File("elsewhere/" + name, "precious");

    TKLinuxFileSystem files;
    Result<std::unique_ptr<TKFolder>> top = files.OpenFolder(tree / "top");
    ASSERT_TRUE(top);
    std::vector<TError> errors;
    TTreeWalk walk;
    walk.FMaxOpen = 3;
    walk.OnEntry = [&](TKFolder& folder, const TWalkEntry& entry) {
        if (entry.Name == "f")
            fs::rename(tree / "top/a/b/c", tree / "elsewhere/c");
        if (entry.Type == TEntryType::etFolder)
            return TWalkStep::wsEnter;
        (void)folder.RemoveFile(entry.Name);
        return TWalkStep::wsNext;
    };
    walk.OnError = [&](TKFolder* folder, const TWalkEntry&, const TError& error) {
        EXPECT_EQ(folder, nullptr);
        errors.push_back(error);
        return TWalkStep::wsNext;
    };
    EXPECT_FALSE(walk.Run(**top, tree / "top"));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].Code, TErrorCode::ecChanged);
    EXPECT_EQ(errors[0].Path, tree / "top/a/b");
    EXPECT_FALSE(fs::exists(tree / "elsewhere/c/d/f")) << "removed in the moved folder itself";
    for (const std::string& name : after) {
        EXPECT_EQ(TempTree::ReadFile(tree / ("elsewhere/" + name)), "precious") << name;
        EXPECT_EQ(TempTree::ReadFile(tree / ("top/a/b/" + name)), "junk") << name;
    }
}

TEST(TreeWalk, EnterLaterVisitsAFoldersEntriesBeforeItsSubFolders) {
    TempTree tree;
    tree.File("top/a/inner");
    tree.File("top/b");
    tree.File("top/c/inner");
    TKLinuxFileSystem files;
    Result<std::unique_ptr<TKFolder>> top = files.OpenFolder(tree / "top");
    ASSERT_TRUE(top);
    for (const TWalkStep step : {TWalkStep::wsEnter, TWalkStep::wsEnterLater}) {
        std::vector<std::string> seen;
        TTreeWalk walk;
        walk.OnEntry = [&](TKFolder&, const TWalkEntry& entry) {
            seen.emplace_back(entry.Path().substr(tree.Path().size() + 5));
            return step;
        };
        ASSERT_TRUE(walk.Run(**top, tree / "top"));
        // The listing order of a folder is the file system's; what matters is where the
        // entries of a sub-folder come.
        const auto place = [&](const std::string& name) {
            return std::find(seen.begin(), seen.end(), name) - seen.begin();
        };
        ASSERT_EQ(seen.size(), 5u);
        if (step == TWalkStep::wsEnterLater) {
            EXPECT_LT(std::max({place("a"), place("b"), place("c")}), place("a/inner"));
            EXPECT_LT(std::max({place("a"), place("b"), place("c")}), place("c/inner"));
        } else {
            EXPECT_EQ(place("a/inner"), place("a") + 1);
            EXPECT_EQ(place("c/inner"), place("c") + 1);
        }
    }
}

} // namespace
} // namespace ks
