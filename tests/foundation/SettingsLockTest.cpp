#include "foundation/SettingsLock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "foundation/Data.h"
#include "foundation/RegistryStore.h"
#include "foundation/System.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxSystem.h"
#include "support/TempTree.h"

namespace ks {
namespace {

class SettingsLockTest : public ::testing::Test {
protected:
    void SetUp() override { SetPlatform(&FSystem, &FFiles); }
    void TearDown() override { SetPlatform(nullptr, nullptr); }

    std::string StoreFile() const { return FTree / "config/registry"; }

    // Every file the store left in its folder (the store, its lock file, any temporary file),
    // run together.
    std::string StoreFolderBytes() const {
        std::string bytes;
        for (const auto& entry : std::filesystem::directory_iterator(FTree / "config"))
            bytes += test::TempTree::ReadFile(entry.path());
        return bytes;
    }

    std::string StoredValue() const {
        TKRegistryStore store(StoreFile());
        EXPECT_TRUE(store.Load().has_value());
        return store.Read(std::string(ProgramKey), "SettingsRegCode").value_or("<missing>");
    }

    test::TempTree FTree;
    TKLinuxSystem FSystem;
    TKLinuxFileSystem FFiles;
};

TEST_F(SettingsLockTest, HashIsMarkedSaltedAndMatchesOnlyItsText) {
    const std::string longest(300, 'k');
    for (const std::string password :
         {"s3cret", "with space \"q\" \\x", "Heslo čšž 密码", "é", longest.c_str()}) {
        SCOPED_TRACE(password.substr(0, 20));
        const std::string hash = System().HashPassword(password);
        ASSERT_TRUE(IsPasswordHash(hash)) << hash;
        EXPECT_EQ(hash.find(password), std::string::npos);
        const std::string again = System().HashPassword(password);
        EXPECT_NE(again, hash);
        EXPECT_TRUE(System().PasswordMatches(password, hash));
        EXPECT_TRUE(System().PasswordMatches(password, again));
        for (const std::string& other : {password + "x", password.substr(1), std::string(),
                                         std::string("S3cret"), password + std::string(1, '\0') + "x"}) {
            SCOPED_TRACE(other.substr(0, 20));
            EXPECT_FALSE(System().PasswordMatches(other, hash));
        }
    }
}

TEST_F(SettingsLockTest, TextsThatCannotBeHashedOrAreNoHashNeverMatch) {
    // A NUL would cut the text short inside the hashing library, and the library takes only so
    // much text: neither may be stored as if hashed.
    for (const std::string& refused : {std::string("ab\0cd", 5), std::string(4096, 'p')}) {
        EXPECT_EQ(System().HashPassword(refused), "");
        EXPECT_EQ(StoredPasswordFor(refused), std::nullopt);
    }
    for (const std::string stored : {"", "$y$", "$6$", "$6$salt$", "*0", "plain", "$y$j9T$\x01\xff", "$"}) {
        SCOPED_TRACE(stored);
        for (const std::string typed : {"", "plain", "salt", "$6$salt$"})
            EXPECT_FALSE(System().PasswordMatches(typed, stored));
    }
}

TEST_F(SettingsLockTest, EmptyBoxRemovesThePassword) {
    TKRegistryStore store(StoreFile());
    ASSERT_TRUE(store.Load().has_value());
    TData data(store, FSystem, FFiles);
    EXPECT_TRUE(CheckSettingsPassword(data, "")) << "no password was ever set";
    EXPECT_FALSE(CheckSettingsPassword(data, "anything"));

    ASSERT_TRUE(data.SaveSettingsPassword(StoredPasswordFor("old one").value()));
    EXPECT_FALSE(CheckSettingsPassword(data, ""));
    EXPECT_TRUE(CheckSettingsPassword(data, "old one"));

    ASSERT_EQ(StoredPasswordFor(""), std::string());
    ASSERT_TRUE(data.SaveSettingsPassword(*StoredPasswordFor("")));
    EXPECT_EQ(StoredValue(), "");
    EXPECT_TRUE(CheckSettingsPassword(data, ""));
    EXPECT_FALSE(CheckSettingsPassword(data, "old one"));
}

TEST_F(SettingsLockTest, WrongPasswordsFail) {
    TKRegistryStore store(StoreFile());
    ASSERT_TRUE(store.Load().has_value());
    TData data(store, FSystem, FFiles);
    ASSERT_TRUE(data.SaveSettingsPassword(StoredPasswordFor("Open Sesame").value()));
    const std::string hash = StoredValue();
    for (const std::string_view wrong :
         {"", "open sesame", "OPEN SESAME", "Open Sesame ", "Open", hash.c_str()}) {
        SCOPED_TRACE(wrong);
        EXPECT_FALSE(CheckSettingsPassword(data, wrong));
    }
    EXPECT_EQ(StoredValue(), hash) << "a failed check leaves the stored hash alone";
}

TEST_F(SettingsLockTest, PlainValueIsAcceptedOnceAndReplacedByItsHash) {
    const std::string plain = "Plain-Pass-42";
    {
        TKRegistryStore store(StoreFile());
        ASSERT_TRUE(store.Load().has_value());
        TData data(store, FSystem, FFiles);
        ASSERT_TRUE(data.SaveSettingsPassword(plain));
        EXPECT_FALSE(CheckSettingsPassword(data, "plain-pass-42"));
        EXPECT_FALSE(CheckSettingsPassword(data, ""));
        EXPECT_EQ(StoredValue(), plain) << "a wrong password leaves the old value alone";

        EXPECT_TRUE(CheckSettingsPassword(data, plain));
    }
    const std::string stored = StoredValue();
    EXPECT_TRUE(IsPasswordHash(stored)) << stored;
    EXPECT_EQ(StoreFolderBytes().find(plain), std::string::npos);

    // A new start of the program checks against the hash.
    TKRegistryStore store(StoreFile());
    ASSERT_TRUE(store.Load().has_value());
    TData data(store, FSystem, FFiles);
    EXPECT_TRUE(CheckSettingsPassword(data, plain));
    EXPECT_FALSE(CheckSettingsPassword(data, "plain-pass-42"));
    EXPECT_FALSE(CheckSettingsPassword(data, stored)) << "the hash itself is no password";
    EXPECT_EQ(StoredValue(), stored);
}

} // namespace
} // namespace ks
