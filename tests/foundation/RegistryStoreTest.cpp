#include "foundation/RegistryStore.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>
#include <exception>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/Child.h"
#include "support/MemoryFileSystem.h"
#include "support/TempTree.h"
#include "support/Unprivileged.h"

namespace ks {
namespace {

using test::TempTree;
using TValues = std::vector<std::pair<std::string, std::string>>;

const std::string ProgramKey = "Software\\delta9\\[sable!]";

// Names in folder that start with prefix.
std::vector<std::string> NamesStartingWith(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return names;
    while (const dirent* entry = ::readdir(dir))
        if (std::string_view(entry->d_name).starts_with(prefix))
            names.emplace_back(entry->d_name);
    ::closedir(dir);
    return names;
}

// text, times times over.
std::string Repeat(const std::string& text, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i)
        out += text;
    return out;
}

unsigned ModeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

// The file type bits of path itself (a link is not followed); 0 when there is nothing.
unsigned TypeOf(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? (info.st_mode & S_IFMT) : 0;
}

// Loads store and checks that the file at path (of file type bits type) was found damaged and
// set aside, and the store starts empty; the failure text, empty when all is as expected.
std::string LoadsAsSetAside(TKRegistryStore& store, const std::string& path, unsigned type) {
    const Result<void> loaded = store.Load();
    KS_CHECK(!loaded);
    KS_CHECK(loaded.error().Code == TErrorCode::ecParse);
    KS_CHECK(loaded.error().Path.starts_with(path + ".bad-"));
    KS_CHECK(TypeOf(loaded.error().Path) == type);
    KS_CHECK(TypeOf(path) == 0);
    KS_CHECK(store.SubKeys("").empty());
    return {};
}

// The text of count lines made by line(i), each ended by LF.
template <class TLine> std::string ManyLines(std::size_t count, TLine line) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += line(i) + "\n";
    return text;
}

TEST(RegistryStore, WritesTheRegedit4Layout) {
    TempTree tree;
    TKRegistryStore store(tree / "registry");
    ASSERT_TRUE(store.Load());
    store.Write(ProgramKey + "\\m_lpanel", "ppath", "/home/ann/projects");
    store.Write(ProgramKey + "\\m_lpanel", "pposit", "notes.txt");
    store.Write(ProgramKey + "\\m_history", "linescount", "0");
    store.Write(ProgramKey + "\\m_history", "line0", "make -C \"my dir\"");
    ASSERT_TRUE(store.Flush());
    EXPECT_EQ(TempTree::ReadFile(tree / "registry"),
              "REGEDIT4\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\delta9\\[sable!]\\m_lpanel]\n"
              "\"ppath\"=\"/home/ann/projects\"\n"
              "\"pposit\"=\"notes.txt\"\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\delta9\\[sable!]\\m_history]\n"
              "\"linescount\"=\"0\"\n"
              "\"line0\"=\"make -C \\\"my dir\\\"\"\n");
}

TEST(RegistryStore, AwkwardValuesRoundTrip) {
    TempTree tree;
    // The folders of the store do not exist yet: the flush makes them, private to the user.
    const std::string path = tree / "config/ksable/registry";
    const std::string key = ProgramKey + "\\m_awkward";
    const TValues values = {
        {"quotes", "say \"hi\" \"\""},
        {"backslashes", "C:\\dir\\ \\\\server\\ end\\"},
        {"pipe", "a|b||"},
        {"empty", ""},
        {"lines", "one\ntwo\r\nthree\rfour\n"},
        {"nul", std::string("a\0b", 3)},
        {"bytes", "\xff\xfe\x80 \xc3\x28 \t tab"},
        {"a=b", "name with an equals sign"},
        {"x]y[", "name with brackets"},
        {"@", "a name that is only an at sign"},
        {"", "the default value"},
        {"\"quoted\\name\"\n", "escaped name"},
        {"spaces", "  both ends  "},
        {"long", std::string(1 << 20, 'L')},
    };
    {
        TKRegistryStore store(path);
        ASSERT_TRUE(store.Load());
        for (const auto& [name, value] : values)
            store.Write(key, name, value);
        ASSERT_TRUE(store.Dirty());
        ASSERT_TRUE(store.Flush());
        EXPECT_FALSE(store.Dirty());
    }
    EXPECT_EQ(ModeOf(tree / "config/ksable"), 0700u);
    EXPECT_EQ(ModeOf(path), 0600u);
    const std::string text = TempTree::ReadFile(path);
    EXPECT_NE(text.find("\n@=\"the default value\"\n"), std::string::npos);
    EXPECT_EQ(text.find('\r'), std::string::npos);

    TKRegistryStore reloaded(path);
    ASSERT_TRUE(reloaded.Load());
    EXPECT_EQ(reloaded.Values(key), values);
    for (const auto& [name, value] : values) {
        SCOPED_TRACE(name);
        EXPECT_EQ(reloaded.Read(key, name), value);
    }

    // A file saved with CR LF line ends by an editor reads the same.
    std::string crlf;
    for (const char c : text) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    const std::string crlfPath = tree.File("crlf/registry", crlf);
    TKRegistryStore fromCrlf(crlfPath);
    ASSERT_TRUE(fromCrlf.Load());
    EXPECT_EQ(fromCrlf.Values(key), values);
}

TEST(RegistryStore, KeysAndNamesIgnoreCaseAndKeepTheFirst) {
    TempTree tree;
    TKRegistryStore store(tree / "registry");
    ASSERT_TRUE(store.Load());
    store.Write("Software\\Delta9\\m_Panel", "MAlpAct", "96");
    store.Write("SOFTWARE\\delta9\\M_PANEL", "malpact", "97");
    store.Write("software\\DELTA9\\m_panel\\", "mAlpInact", "48");
    EXPECT_EQ(store.Read("software\\delta9\\m_panel", "MALPACT"), "97");
    EXPECT_TRUE(store.KeyExists("\\SOFTWARE\\\\Delta9"));
    ASSERT_TRUE(store.Flush());

    TKRegistryStore reloaded(tree / "registry");
    ASSERT_TRUE(reloaded.Load());
    EXPECT_EQ(reloaded.Values("software\\delta9\\m_panel"),
              (TValues{{"MAlpAct", "97"}, {"mAlpInact", "48"}}));
    EXPECT_EQ(reloaded.SubKeys("SOFTWARE"), std::vector<std::string>{"Delta9"});
    EXPECT_EQ(reloaded.SubKeys("software\\delta9"), std::vector<std::string>{"m_Panel"});
    EXPECT_NE(TempTree::ReadFile(tree / "registry").find("[HKEY_CURRENT_USER\\Software\\Delta9\\m_Panel]\n"),
              std::string::npos);
}

TEST(RegistryStore, ValuesAndSubKeysKeepCreationOrder) {
    TempTree tree;
    const std::string history = ProgramKey + "\\m_history_copy";
    std::vector<std::string> expectedNames;
    TKRegistryStore store(tree / "registry");
    ASSERT_TRUE(store.Load());
    for (int i = 0; i <= 20; ++i) {
        store.Write(history, std::to_string(i), "/folder/" + std::to_string(i));
        expectedNames.push_back(std::to_string(i));
    }
    for (const char* name : {"zeta", "alpha", "Mid", "beta\\deeper", "alpha\\x"})
        store.Write(ProgramKey + "\\order\\" + name, "v", "1");
    store.Write(ProgramKey + "\\order", "last", "1");
    ASSERT_TRUE(store.Flush());

    TKRegistryStore reloaded(tree / "registry");
    ASSERT_TRUE(reloaded.Load());
    std::vector<std::string> names;
    for (const auto& [name, value] : reloaded.Values(history))
        names.push_back(name);
    EXPECT_EQ(names, expectedNames);
    EXPECT_EQ(reloaded.SubKeys(ProgramKey + "\\order"),
              (std::vector<std::string>{"zeta", "alpha", "Mid", "beta"}));
    EXPECT_EQ(reloaded.SubKeys(ProgramKey), (std::vector<std::string>{"m_history_copy", "order"}));

    // A history is saved by deleting its key and writing it again: the new values replace the
    // old ones, in the new order, and none of the old ones survives.
    reloaded.DeleteKey(history);
    reloaded.Write(history, "0", "newest");
    reloaded.Write(history, "1", "older");
    ASSERT_TRUE(reloaded.Flush());
    TKRegistryStore again(tree / "registry");
    ASSERT_TRUE(again.Load());
    EXPECT_EQ(again.Values(history), (TValues{{"0", "newest"}, {"1", "older"}}));
}

TEST(RegistryStore, DeletesKeysWithSubKeysAndSingleValues) {
    TempTree tree;
    TKRegistryStore store(tree / "registry");
    ASSERT_TRUE(store.Load());
    store.Write("A\\B\\C", "c", "1");
    store.Write("A\\B", "b", "1");
    store.Write("A\\D", "d", "1");
    store.Write("A\\E", "e", "1");
    store.Write("A\\E", "f", "2");
    ASSERT_TRUE(store.Flush());

    store.DeleteKey("a\\b");
    store.DeleteValue("a\\e", "E");
    store.DeleteValue("A\\missing", "x");
    store.DeleteKey("A\\missing");
    EXPECT_FALSE(store.KeyExists("A\\B\\C"));
    EXPECT_FALSE(store.KeyExists("A\\B"));
    ASSERT_TRUE(store.Flush());

    TKRegistryStore reloaded(tree / "registry");
    ASSERT_TRUE(reloaded.Load());
    EXPECT_FALSE(reloaded.KeyExists("A\\B"));
    EXPECT_FALSE(reloaded.Read("A\\B\\C", "c"));
    EXPECT_EQ(reloaded.SubKeys("A"), (std::vector<std::string>{"D", "E"}));
    EXPECT_EQ(reloaded.Values("A\\E"), (TValues{{"f", "2"}}));

    // A key left without values still exists after a reload, in its place.
    reloaded.DeleteValue("A\\D", "d");
    ASSERT_TRUE(reloaded.Flush());
    TKRegistryStore again(tree / "registry");
    ASSERT_TRUE(again.Load());
    EXPECT_TRUE(again.KeyExists("A\\D"));
    EXPECT_EQ(again.SubKeys("A"), (std::vector<std::string>{"D", "E"}));
}

TEST(RegistryStore, TwoStoresOnOneFileKeepEachOthersChanges) {
    TempTree tree;
    const std::string path = tree / "registry";
    TKRegistryStore first(path);
    TKRegistryStore second(path);
    ASSERT_TRUE(first.Load());
    ASSERT_TRUE(second.Load());
    first.Write("K", "a", "from first");
    first.Write("K", "shared", "first");
    second.Write("K", "b", "from second");
    second.Write("K\\Sub", "s", "from second");
    ASSERT_TRUE(first.Flush());
    ASSERT_TRUE(second.Flush());
    // The later flush adopts what the other wrote.
    EXPECT_EQ(second.Read("K", "a"), "from first");

    first.DeleteValue("K", "a");
    ASSERT_TRUE(first.Flush());
    second.Write("K", "c", "from second");
    second.Write("k", "SHARED", "second");
    ASSERT_TRUE(second.Flush());

    TKRegistryStore fresh(path);
    ASSERT_TRUE(fresh.Load());
    EXPECT_EQ(fresh.Values("K"), (TValues{{"shared", "second"}, {"b", "from second"}, {"c", "from second"}}));
    EXPECT_EQ(fresh.Read("K\\Sub", "s"), "from second");
}

// Settings saved at every exit mostly hold what the file holds: such a flush writes nothing
// (the file keeps its inode, no temporary file is made); a real change replaces the file.
TEST(RegistryStore, FlushThatChangesNothingLeavesTheFile) {
    TempTree tree;
    const std::string path = tree / "registry";
    const auto inode = [&] {
        struct stat info {};
        EXPECT_EQ(::stat(path.c_str(), &info), 0);
        return info.st_ino;
    };
    TKRegistryStore store(path);
    ASSERT_TRUE(store.Load());
    store.Write("K", "a", "1");
    store.Write("K\\Sub", "b", "2");
    ASSERT_TRUE(store.Flush());
    const auto first = inode();
    const std::string text = TempTree::ReadFile(path);

    TKRegistryStore again(path);
    ASSERT_TRUE(again.Load());
    again.Write("K", "a", "1");
    again.Write("K\\Sub", "b", "2");
    ASSERT_TRUE(again.Dirty());
    ASSERT_TRUE(again.Flush());
    EXPECT_FALSE(again.Dirty());
    EXPECT_EQ(inode(), first);
    EXPECT_EQ(TempTree::ReadFile(path), text);

    again.Write("K", "a", "changed");
    ASSERT_TRUE(again.Flush());
    EXPECT_NE(inode(), first);
    TKRegistryStore fresh(path);
    ASSERT_TRUE(fresh.Load());
    EXPECT_EQ(fresh.Read("K", "a"), "changed");
    EXPECT_EQ(fresh.Read("K\\Sub", "b"), "2");
}

TEST(RegistryStore, DamagedFileIsSetAside) {
    const std::vector<std::pair<const char*, std::string>> damaged = {
        {"no header", "[HKEY_CURRENT_USER\\A]\n\"a\"=\"1\"\n"},
        {"empty file", ""},
        {"unicode header", "Windows Registry Editor Version 5.00\n"},
        {"malformed line", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"a\"=\"1\"\nrubbish\n"},
        {"value before a key", "REGEDIT4\n\"a\"=\"1\"\n"},
        {"other root", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\"a\"=\"1\"\n"},
        {"root only", "REGEDIT4\n\n[HKEY_CURRENT_USER]\n"},
        {"bad escape", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"a\"=\"c:\\dir\"\n"},
        {"open quote", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"a\"=\"1\n"},
        {"dword", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"a\"=dword:00000001\n"},
        {"NUL byte", std::string("REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"a\"=\"1") + '\0' + "\"\n"},
        {"stray CR", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"a\"=\"1\"\r\"b\"=\"2\"\n"},
        {"key part of 256 bytes", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A\\" + std::string(256, 'k') + "]\n"},
        {"key of 513 parts", "REGEDIT4\n\n[HKEY_CURRENT_USER" + Repeat("\\k", 513) + "]\n"},
        // Short lines that would each cost a key or a value of memory.
        {"65,537 keys", "REGEDIT4\n" + ManyLines(65537,
                                                 [](std::size_t i) {
                                                     return "[HKEY_CURRENT_USER\\k" + std::to_string(i) + "]";
                                                 })},
        {"262,145 values",
         "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n" +
             ManyLines(262145, [](std::size_t i) { return "\"" + std::to_string(i) + "\"=\"\""; })},
    };
    for (const auto& [what, bytes] : damaged) {
        SCOPED_TRACE(what);
        TempTree tree;
        const std::string path = tree.File("registry", bytes);
        TKRegistryStore store(path);
        const Result<void> loaded = store.Load();
        ASSERT_FALSE(loaded);
        EXPECT_EQ(loaded.error().Code, TErrorCode::ecParse);
        const std::vector<std::string> aside = NamesStartingWith(tree.Path(), "registry.bad-");
        ASSERT_EQ(aside.size(), 1u);
        EXPECT_EQ(loaded.error().Path, tree / aside.front());
        EXPECT_EQ(TempTree::ReadFile(tree / aside.front()), bytes);
        EXPECT_EQ(ModeOf(path), 0u) << "the damaged file is still in place";
        EXPECT_TRUE(store.SubKeys("").empty());

        // The store starts over; a second damaged file in the same second gets its own name.
        store.Write("A", "a", "fresh");
        ASSERT_TRUE(store.Flush());
        tree.File("registry", bytes);
        ASSERT_FALSE(store.Load());
        EXPECT_EQ(NamesStartingWith(tree.Path(), "registry.bad-").size(), 2u);
    }
}

TEST(RegistryStore, WriteSkipsKeyPathsThatCannotBeStored) {
    const std::vector<std::tuple<const char*, std::string, bool>> paths = {
        {"part of 255 bytes", "A\\" + std::string(255, 'p'), true},
        {"part of 256 bytes", "A\\" + std::string(256, 'p'), false},
        {"512 parts", Repeat("k\\", 512), true},
        {"513 parts", Repeat("k\\", 513), false},
        {"LF in a part", "A\\line\nbreak", false},
        {"no part at all", "\\\\", false},
    };
    for (const auto& [what, path, stored] : paths) {
        SCOPED_TRACE(what);
        TempTree tree;
        TKRegistryStore store(tree / "registry");
        ASSERT_TRUE(store.Load());
        store.Write(path, "v", "1");
        EXPECT_EQ(store.Dirty(), stored);
        EXPECT_EQ(store.Read(path, "v").has_value(), stored);
        if (!stored)
            continue;
        ASSERT_TRUE(store.Flush());
        TKRegistryStore reloaded(tree / "registry");
        const Result<void> loaded = reloaded.Load();
        ASSERT_TRUE(loaded) << loaded.error().Detail;
        EXPECT_EQ(reloaded.Read(path, "v"), "1");
    }
}

TEST(RegistryStore, DeletedKeysAndValuesLeaveTheOrderOfTheRest) {
    TempTree tree;
    TKRegistryStore store(tree / "registry");
    ASSERT_TRUE(store.Load());
    for (const char* name : {"one", "two", "three", "four"})
        store.Write(std::string("A\\") + name + "\\deeper", "v", name);
    store.Write("A", "x", "1");
    store.Write("A", "y", "2");
    store.Write("A", "z", "3");
    store.DeleteKey("A\\TWO");
    store.DeleteKey("a\\four");
    store.DeleteValue("A", "Y");
    store.Write("A\\five", "v", "five");
    store.Write("A\\Two", "v", "again");
    store.Write("A", "z", "changed");
    store.Write("A", "y", "back");
    EXPECT_FALSE(store.KeyExists("A\\four\\deeper"));
    EXPECT_FALSE(store.Read("A\\two\\deeper", "v"));
    ASSERT_TRUE(store.Flush());

    TKRegistryStore reloaded(tree / "registry");
    ASSERT_TRUE(reloaded.Load());
    EXPECT_EQ(reloaded.SubKeys("A"), (std::vector<std::string>{"one", "three", "five", "Two"}));
    EXPECT_EQ(reloaded.Values("A"), (TValues{{"x", "1"}, {"z", "changed"}, {"y", "back"}}));
    EXPECT_EQ(TempTree::ReadFile(tree / "registry"),
              "REGEDIT4\n"
              "\n[HKEY_CURRENT_USER\\A]\n"
              "\"x\"=\"1\"\n\"z\"=\"changed\"\n\"y\"=\"back\"\n"
              "\n[HKEY_CURRENT_USER\\A\\one\\deeper]\n\"v\"=\"one\"\n"
              "\n[HKEY_CURRENT_USER\\A\\three\\deeper]\n\"v\"=\"three\"\n"
              "\n[HKEY_CURRENT_USER\\A\\five]\n\"v\"=\"five\"\n"
              "\n[HKEY_CURRENT_USER\\A\\Two]\n\"v\"=\"again\"\n");
}

// Whatever stands at the store's name that is not a regular file is set aside at once: opening
// a FIFO for reading would wait for a writer and reading a device may never end.
TEST(RegistryStore, NonRegularFileIsSetAsideWithoutWaiting) {
    const std::vector<std::pair<const char*, std::function<bool(const std::string&)>>> makers = {
        {"FIFO", [](const std::string& path) { return ::mkfifo(path.c_str(), 0600) == 0; }},
        {"link to /dev/zero",
         [](const std::string& path) { return ::symlink("/dev/zero", path.c_str()) == 0; }},
        {"folder", [](const std::string& path) { return ::mkdir(path.c_str(), 0700) == 0; }},
        {"socket",
         [](const std::string& path) {
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             if (path.size() >= sizeof address.sun_path)
                 return false;
             path.copy(address.sun_path, path.size());
             const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
             const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
             ::close(fd);
             return bound;
         }},
    };
    for (const auto& row : makers) {
        SCOPED_TRACE(row.first);
        const auto& make = row.second;
        TempTree tree;
        const std::string path = tree / "registry";
        ASSERT_TRUE(make(path)) << "could not make it (a socket needs a path under 108 bytes)";
        const unsigned type = TypeOf(path);
        const std::string failure = test::RunInChild(256u << 20, 10000, [&]() -> std::string {
            TKRegistryStore store(path);
            if (std::string wrong = LoadsAsSetAside(store, path, type); !wrong.empty())
                return wrong;
            store.Write("A", "a", "fresh");
            KS_CHECK(store.Flush());
            KS_CHECK(TempTree::ReadFile(path) == "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"a\"=\"fresh\"\n");

            // Found again by the re-read of a flush, it is set aside the same way.
            KS_CHECK(::unlink(path.c_str()) == 0 && make(path));
            store.Write("A", "b", "later");
            KS_CHECK(store.Flush());
            KS_CHECK(TypeOf(path) == S_IFREG);
            KS_CHECK(TempTree::ReadFile(path) == "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"b\"=\"later\"\n");
            KS_CHECK(NamesStartingWith(tree.Path(), "registry.bad-").size() == 2);
            return {};
        });
        EXPECT_EQ(failure, "");
    }
}

// A file larger than any store is set aside without being read, and so is one that reads on
// past its size; the child's memory is capped well below what reading either would take.
TEST(RegistryStore, OversizedFileIsSetAsideUnread) {
    const std::vector<std::pair<const char*, std::function<bool(const std::string&)>>> makers = {
        {"sparse file of 1 GiB",
         [](const std::string& path) {
             const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
             const bool made =
                 fd >= 0 && ::write(fd, "REGEDIT4\n", 9) == 9 && ::ftruncate(fd, off_t(1) << 30) == 0;
             ::close(fd);
             return made;
         }},
        // A regular file whose size reads as 0 but whose text runs to gigabytes.
        {"link to /proc/self/pagemap",
         [](const std::string& path) {
             return ::access("/proc/self/pagemap", R_OK) == 0 &&
                    ::symlink("/proc/self/pagemap", path.c_str()) == 0;
         }},
    };
    for (const auto& row : makers) {
        SCOPED_TRACE(row.first);
        const auto& make = row.second;
        TempTree tree;
        const std::string path = tree / "registry";
        ASSERT_TRUE(make(path));
        const unsigned type = TypeOf(path);
        const std::string failure = test::RunInChild(512u << 20, 60000, [&]() -> std::string {
            TKRegistryStore store(path);
            if (std::string wrong = LoadsAsSetAside(store, path, type); !wrong.empty())
                return wrong;
            return {};
        });
        EXPECT_EQ(failure, "");
    }
}

// Each key of a file costs memory in proportion to its own name, not to its full path: 20
// keys of 512 parts of 255 bytes (a 2.6 MB file) load, answer and flush within 256 MiB,
// where a copy of the path per key would take gigabytes.
TEST(RegistryStore, DeepLongKeysLoadInLinearMemory) {
    constexpr std::size_t KeyCount = 20;
    constexpr std::size_t Depth = 512;
    std::vector<std::string> parts;
    std::vector<std::string> leaves;
    std::string text = "REGEDIT4\n";
    for (std::size_t k = 0; k < KeyCount; ++k) {
        std::string path;
        for (std::size_t d = 0; d < Depth; ++d) {
            std::string part = "k" + std::to_string(k) + "d" + std::to_string(d) + "-";
            part.resize(255, static_cast<char>('a' + d % 26));
            if (k == 0)
                parts.push_back(part);
            path += (d == 0 ? "" : "\\") + part;
        }
        text += "\n[HKEY_CURRENT_USER\\" + path + "]\n\"leaf\"=\"" + std::to_string(k) + "\"\n";
        leaves.push_back(path);
    }
    TempTree tree;
    const std::string path = tree.File("registry", text);
    const std::string failure = test::RunInChild(256u << 20, 60000, [&]() -> std::string {
        TKRegistryStore store(path);
        const Result<void> loaded = store.Load();
        if (!loaded)
            return "load failed: " + loaded.error().Detail;
        KS_CHECK(store.SubKeys("").size() == KeyCount);
        for (std::size_t k = 0; k < KeyCount; ++k)
            KS_CHECK(store.Read(leaves[k], "leaf") == std::to_string(k));
        // The first key's chain, one level at a time.
        KS_CHECK(store.SubKeys("").front() == parts.front());
        std::string key = parts.front();
        for (std::size_t d = 1; d < Depth; ++d) {
            KS_CHECK(store.SubKeys(key) == std::vector<std::string>{parts[d]});
            key += "\\" + parts[d];
        }
        KS_CHECK(store.SubKeys(key).empty());

        store.Write(leaves[0], "added", "1");
        KS_CHECK(store.Flush());
        std::string expected = text;
        expected.insert(expected.find('\n', expected.find("\"leaf\"=\"0\"")) + 1, "\"added\"=\"1\"\n");
        KS_CHECK(TempTree::ReadFile(path) == expected);
        return {};
    });
    EXPECT_EQ(failure, "");
}

TEST(RegistryStore, FlushSetsAsideAFileDamagedSinceTheLoad) {
    TempTree tree;
    const std::string path = tree / "registry";
    TKRegistryStore store(path);
    ASSERT_TRUE(store.Load());
    store.Write("A", "a", "1");
    ASSERT_TRUE(store.Flush());
    tree.File("registry", "garbage written by something else");
    store.Write("A", "b", "2");
    ASSERT_TRUE(store.Flush());
    const std::vector<std::string> aside = NamesStartingWith(tree.Path(), "registry.bad-");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(TempTree::ReadFile(tree / aside.front()), "garbage written by something else");
    TKRegistryStore reloaded(path);
    ASSERT_TRUE(reloaded.Load());
    EXPECT_EQ(reloaded.Values("A"), (TValues{{"b", "2"}}));
}

TEST(RegistryStore, FailedFlushKeepsChangesAndTheOldFile) {
    TempTree tree;
    const std::string folder = tree.Folder("config");
    const std::string path = folder + "/registry";
    const std::string failure = test::RunUnprivileged({tree.Path()}, [&]() -> std::string {
        TKRegistryStore store(path);
        KS_CHECK(store.Load());
        store.Write("A", "old", "1");
        KS_CHECK(store.Flush());
        const std::string before = TempTree::ReadFile(path);

        KS_CHECK(::chmod(folder.c_str(), 0500) == 0);
        store.Write("A", "new", "2");
        const Result<void> flushed = store.Flush();
        KS_CHECK(!flushed);
        KS_CHECK(flushed.error().Code == TErrorCode::ecAccess);
        KS_CHECK(store.Dirty());
        KS_CHECK(store.Read("A", "new") == "2");
        KS_CHECK(TempTree::ReadFile(path) == before);
        KS_CHECK(NamesStartingWith(folder, "registry.tmp-").empty());

        KS_CHECK(::chmod(folder.c_str(), 0700) == 0);
        KS_CHECK(store.Flush());
        TKRegistryStore reloaded(path);
        KS_CHECK(reloaded.Load());
        KS_CHECK((reloaded.Values("A") == TValues{{"old", "1"}, {"new", "2"}}));
        return {};
    });
    EXPECT_EQ(failure, "");
}

// A save that breaks off on a disk that fills up, or whose flush to the disk or final rename
// fails, leaves the old file as it was and reports the error; the changes wait for the next save.
TEST(RegistryStore, FaultyDiskDuringAFlushKeepsTheOldFile) {
    using TDisk = test::MemoryFileSystem;
    const std::vector<std::tuple<const char*, std::function<void(TDisk&)>, TErrorCode>> faults = {
        {"full disk", [](TDisk& disk) { disk.FSpaceLeft = 10; }, TErrorCode::ecNoSpace},
        {"failed fsync", [](TDisk& disk) { disk.FailCall(TDisk::TCall::fcSync, 1, EIO); }, TErrorCode::ecIo},
        {"failed rename", [](TDisk& disk) { disk.FailCall(TDisk::TCall::fcRename, 1, EIO); },
         TErrorCode::ecIo},
    };
    for (const auto& [what, fault, code] : faults) {
        SCOPED_TRACE(what);
        TDisk disk;
        disk.AddFolder("/config");
        const std::string path = "/config/registry";
        TKRegistryStore store(path, disk);
        ASSERT_TRUE(store.Load());
        store.Write("A", "old", "1");
        ASSERT_TRUE(store.Flush());
        const std::string before = disk.ContentOf(path);

        fault(disk);
        store.Write("A", "new", "2");
        const Result<void> flushed = store.Flush();
        ASSERT_FALSE(flushed);
        EXPECT_EQ(flushed.error().Code, code);
        EXPECT_EQ(flushed.error().Path, path);
        EXPECT_EQ(disk.ContentOf(path), before);
        std::vector<std::string> names;
        for (const auto& [name, node] : disk.FNodes)
            if (name.starts_with("/config/"))
                names.push_back(name);
        EXPECT_EQ(names, (std::vector<std::string>{path, path + ".lock"})) << "no temporary file stays";
        EXPECT_TRUE(store.Dirty());
        EXPECT_EQ(store.Read("A", "new"), "2");

        disk.FSpaceLeft.reset();
        ASSERT_TRUE(store.Flush());
        TKRegistryStore reloaded(path, disk);
        ASSERT_TRUE(reloaded.Load());
        EXPECT_EQ(reloaded.Values("A"), (TValues{{"old", "1"}, {"new", "2"}}));
    }
}

// A writer killed at any moment leaves the complete old or the complete new file, never a mix,
// and the temporary file it may leave is cleaned up by the next user of the store.
TEST(RegistryStore, KilledWriterLeavesOldOrNewFile) {
    TempTree tree;
    const std::string path = tree / "registry";
    const std::string key = ProgramKey + "\\kill";
    constexpr int ValueCount = 2000;
    const std::string padding(48, '.');
    auto fill = [&](TKRegistryStore& store, long generation) {
        for (int i = 0; i < ValueCount; ++i)
            store.Write(key, "v" + std::to_string(i), std::to_string(generation) + ":" + padding);
    };
    auto generationOf = [](const std::string& value) { return std::stol(value.substr(0, value.find(':'))); };
    {
        TKRegistryStore store(path);
        ASSERT_TRUE(store.Load());
        fill(store, 0);
        ASSERT_TRUE(store.Flush());
    }

    std::mt19937 random(20240611);
    std::uniform_int_distribution<long> delayUs(0, 20000);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    long lastGeneration = 0;
    int leftTemps = 0;
    for (int round = 0; round < 40 && std::chrono::steady_clock::now() < deadline; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        int ready[2];
        ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(ready[0]);
            TKRegistryStore store(path);
            if (!store.Load())
                ::_exit(3);
            long generation = generationOf(store.Read(key, "v0").value_or("0:"));
            if (::write(ready[1], "r", 1) != 1)
                ::_exit(4);
            for (;;) {
                fill(store, ++generation);
                if (!store.Flush())
                    ::_exit(5);
            }
        }
        ::close(ready[1]);
        pollfd started{ready[0], POLLIN, 0};
        const bool isReady = ::poll(&started, 1, 10000) == 1;
        ::close(ready[0]);
        if (isReady) {
            const timespec pause{0, delayUs(random) * 1000};
            ::nanosleep(&pause, nullptr);
        }
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(isReady) << "the writer did not start";
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer failed with exit code " << WEXITSTATUS(status);

        const std::size_t temps = NamesStartingWith(tree.Path(), "registry.tmp-").size();
        EXPECT_LE(temps, 1u);
        leftTemps += static_cast<int>(temps);
        ASSERT_TRUE(ParseRegistryText(TempTree::ReadFile(path))) << "the file does not parse";
        TKRegistryStore check(path);
        const Result<void> loaded = check.Load();
        ASSERT_TRUE(loaded) << loaded.error().Detail;
        EXPECT_TRUE(NamesStartingWith(tree.Path(), "registry.tmp-").empty())
            << "a stale temporary file stays";
        const TValues values = check.Values(key);
        ASSERT_EQ(values.size(), static_cast<std::size_t>(ValueCount));
        const long generation = generationOf(values.front().second);
        for (const auto& [name, value] : values)
            ASSERT_EQ(generationOf(value), generation) << name << " belongs to another generation";
        EXPECT_GE(generation, lastGeneration);
        lastGeneration = generation;
    }
    EXPECT_TRUE(NamesStartingWith(tree.Path(), "registry.bad-").empty());
    RecordProperty("Generations", static_cast<int>(lastGeneration));
    RecordProperty("KillsThatLeftATemporaryFile", leftTemps);
}

} // namespace
} // namespace ks
