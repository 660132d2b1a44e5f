// Shortcut files on the real disk, checked by the desktop's own validator.

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "fileops/DesktopShortcut.h"
#include "support/Process.h"
#include "support/TempTree.h"

namespace ks {
namespace {

using test::TempTree;

// The argument an "Exec" value of one quoted argument gives, read the way a desktop reads it:
// the string escapes first, then the quotes and their escapes, then the "%%" field code.
std::string ExecArgument(const std::string& value) {
    std::string unescaped;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            const char next = value[++i];
            unescaped += next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next;
        } else {
            unescaped += value[i];
        }
    }
    if (unescaped.size() < 2 || unescaped.front() != '"' || unescaped.back() != '"')
        return "<not quoted>";
    std::string argument;
    for (std::size_t i = 1; i + 1 < unescaped.size(); ++i) {
        if (unescaped[i] == '\\' && i + 2 < unescaped.size())
            argument += unescaped[++i];
        else if (unescaped[i] == '%' && i + 2 < unescaped.size() && unescaped[i + 1] == '%')
            argument += unescaped[++i];
        else
            argument += unescaped[i];
    }
    return argument;
}

std::string Line(const std::string& text, const std::string& key) {
    const std::size_t at = text.find("\n" + key + "=");
    if (at == std::string::npos)
        return "<none>";
    const std::size_t start = at + key.size() + 2;
    return text.substr(start, text.find('\n', start) - start);
}

int Validate(const std::string& path, const std::string& log) {
    test::TProcess validator;
    if (!validator.Start({"desktop-file-validate", path}, {}, log))
        return -1;
    return validator.WaitExit(20000).value_or(-2);
}

TEST(DesktopShortcut, FilesForAwkwardNamesPassTheValidator) {
    TempTree tree;
    struct TCase {
        std::string Item;
        bool Executable;
        std::string FileName;
        std::string Url; ///< for a link
    };
    const std::vector<TCase> cases = {
        {"run me.sh", true, "run me.desktop", ""},
        {"say \"hi\" it's.sh", true, "say \"hi\" it's.desktop", ""},
        {"100% done", true, "100% done.desktop", ""},
        {"back\\slash $HOME `x`.bin", true, "back\\slash $HOME `x`.desktop", ""},
        {" lead space.txt", false, " lead space.desktop", "file://" + tree.Path() + "/%20lead%20space.txt"},
        {"say \"hi\" 100%.txt", false, "say \"hi\" 100%.desktop",
         "file://" + tree.Path() + "/say%20%22hi%22%20100%25.txt"},
        {".hidden", false, ".hidden.desktop", "file://" + tree.Path() + "/.hidden"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Item);
        const std::string target = tree.File(c.Item, "#!/bin/sh\n");
        TShortcutEntry entry{target, c.Item, "Launcher for " + c.Item, c.Executable};
        const std::string text = DesktopEntryText(entry);
        EXPECT_EQ(ShortcutFileName(c.Item), c.FileName);
        const Result<TShortcutSaved> saved = SaveShortcutFile(tree.Path(), c.FileName, text, nullptr);
        ASSERT_TRUE(saved) << saved.error().Errno;
        EXPECT_EQ(*saved, TShortcutSaved::ssWritten);
        const std::string path = tree / c.FileName;
        EXPECT_EQ(TempTree::ReadFile(path), text);
        struct stat info {};
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0755u);
        const std::string log = tree / "validate.log";
        EXPECT_EQ(Validate(path, log), 0) << text << TempTree::ReadFile(log);
        if (c.Executable) {
            EXPECT_EQ(Line(text, "Type"), "Application");
            EXPECT_EQ(ExecArgument(Line(text, "Exec")), target) << Line(text, "Exec");
            EXPECT_EQ(Line(text, "Path"), tree.Path());
        } else {
            EXPECT_EQ(Line(text, "Type"), "Link");
            EXPECT_EQ(Line(text, "URL"), c.Url);
        }
    }
}

TEST(DesktopShortcut, AnExistingFileIsReplacedOnlyWhenTheUserSaysSo) {
    TempTree tree;
    const std::string path = tree.File("old.desktop", "mine");
    std::vector<std::string> asked;
    for (const bool agree : {false, true}) {
        SCOPED_TRACE(agree);
        const Result<TShortcutSaved> saved =
            SaveShortcutFile(tree.Path(), "old.desktop", "new", [&](const std::string& fullName) {
                asked.push_back(fullName);
                return agree;
            });
        ASSERT_TRUE(saved);
        EXPECT_EQ(*saved, agree ? TShortcutSaved::ssWritten : TShortcutSaved::ssKept);
        EXPECT_EQ(TempTree::ReadFile(path), agree ? "new" : "mine");
    }
    EXPECT_EQ(asked, (std::vector<std::string>{path, path}));

    SCOPED_TRACE("a target that is no folder is an error and leaves nothing");
    EXPECT_FALSE(SaveShortcutFile(tree / "no such folder", "x.desktop", "text", nullptr));
    EXPECT_FALSE(SaveShortcutFile(path, "x.desktop", "text", nullptr));
    EXPECT_FALSE(SaveShortcutFile(tree.Path(), "a/b.desktop", "text", nullptr));
    EXPECT_EQ(TempTree::ReadFile(path), "new");
}

} // namespace
} // namespace ks
