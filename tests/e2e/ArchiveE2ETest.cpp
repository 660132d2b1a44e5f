// Archives changed from the panels of the real program on a virtual X display: copying out of a
// ZIP into a folder and from a folder into the ZIP, through the archive manager the program
// located on its own at start-up.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "e2e/Harness.h"
#include "support/TempTree.h"

namespace ks::e2e {
namespace {

const std::string ProgramKey = "Software\\delta9\\[sable!]";

std::vector<std::string> NamesOf(const QJsonObject& state, const char* panel) {
    return Strings(state.value(panel).toObject().value("Names"));
}

bool Lists(const QJsonObject& state, const char* panel, const std::string& name) {
    const std::vector<std::string> names = NamesOf(state, panel);
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ArchiveE2ETest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string missing = MissingTools(); !missing.empty()) {
            if (E2ERequired())
                FAIL() << missing << " (required: KS_REQUIRE_E2E=1)";
            GTEST_SKIP() << missing;
        }
        FServer = std::make_unique<TXServer>();
        ASSERT_FALSE(FServer->Display().empty()) << "Xvfb did not start";
        FHome = FTree.Folder("home");
    }

    void Start(const std::string& left, const std::string& right) {
        FKsable = std::make_unique<TKsable>(*FServer, FHome);
        FKsable->SetSetting(ProgramKey + "\\m_settings", "first_run", "0");
        FKsable->SetSetting(ProgramKey + "\\m_settings", "musermode", "4");
        FKsable->SetSetting(ProgramKey + "\\m_lpanel", "ppath", left + "/");
        FKsable->SetSetting(ProgramKey + "\\m_rpanel", "ppath", right + "/");
        FKsable->SetSetting(ProgramKey + "\\graphics", "GraphicsShowSplashScreen", "0");
        ASSERT_TRUE(FKsable->Start()) << FKsable->Failure();
    }

    ::testing::AssertionResult KeysThen(const std::vector<std::string>& keys, const std::string& what,
                                        const std::function<bool(const QJsonObject&)>& predicate,
                                        int ms = 20000) {
        if (!FKsable->Keys(keys) || !FKsable->WaitFor(what, predicate, ms))
            return ::testing::AssertionFailure() << FKsable->Failure();
        return ::testing::AssertionSuccess();
    }

    test::TempTree FTree;
    std::string FHome;
    std::unique_ptr<TXServer> FServer;
    std::unique_ptr<TKsable> FKsable;
};

TEST_F(ArchiveE2ETest, CopyOutOfAZipAndIntoItAgain) {
    const std::string left = FTree.Folder("left");
    const std::string right = FTree.Folder("right");
    FTree.File("src/docs/readme.txt", "read me");
    FTree.File("src/Makefile", "all:\n");
    FTree.File("right/new.txt", "new");
    const TRunResult zip = e2e::Run(
        {"sh", "-c", "cd \"$0\" && exec zip -qr \"$1\" docs Makefile", FTree / "src", left + "/box.zip"}, {});
    ASSERT_EQ(zip.ExitCode, 0) << zip.Out;
    Start(left, right);

    // Enter opens the ZIP; F5 and Enter extract all of it into the other panel's folder.
    ASSERT_TRUE(KeysThen({"Home", "Down", "Return"}, "the ZIP open", [](const QJsonObject& s) {
        return s.value("LEFTPANEL").toObject().value("PanelType").toInt() == 3 &&
               Lists(s, "LEFTPANEL", "docs");
    }));
    ASSERT_TRUE(KeysThen({"F5"}, "the copy dialog", [](const QJsonObject& s) {
        return s.value("Dialog").toString() == "CopyFilesForm";
    }));
    ASSERT_TRUE(KeysThen({"Return"}, "the ZIP's items in the right panel", [](const QJsonObject& s) {
        return s.value("Dialog").toString().isEmpty() && Lists(s, "RIGHTPANEL", "docs") &&
               Lists(s, "RIGHTPANEL", "Makefile");
    }));
    EXPECT_EQ(Contents(right + "/docs/readme.txt"), "read me");
    EXPECT_EQ(Contents(right + "/Makefile"), "all:\n");
    // Nothing of the extraction is left behind once the job has ended.
    ASSERT_TRUE(FKsable->WaitFor("the extraction's stage gone", [](const QJsonObject& s) {
        const std::vector<std::string> names = NamesOf(s, "RIGHTPANEL");
        return std::none_of(names.begin(), names.end(),
                            [](const std::string& name) { return name.rfind(".ksable-", 0) == 0; });
    })) << FKsable->Failure();
    FKsable->Shot("archive-extracted");

    // From the right panel, F5 with the dialog's "archive" adds new.txt to the ZIP, which the
    // left panel then shows.
    std::vector<std::string> keys = {"Tab", "Home"};
    const std::vector<std::string> names = NamesOf(FKsable->State(), "RIGHTPANEL");
    const auto at = std::find(names.begin(), names.end(), "new.txt");
    ASSERT_NE(at, names.end());
    keys.insert(keys.end(), static_cast<std::size_t>(at - names.begin()), "Down");
    keys.push_back("F5");
    ASSERT_TRUE(KeysThen(keys, "the copy dialog onto the ZIP", [](const QJsonObject& s) {
        return s.value("Dialog").toString() == "CopyFilesForm";
    }));
    FKsable->Shot("archive-add-dialog", true);
    const bool addedIn = KeysThen({"Return"}, "new.txt in the ZIP", [](const QJsonObject& s) {
        return s.value("Dialog").toString().isEmpty() &&
               s.value("LEFTPANEL").toObject().value("PanelType").toInt() == 3 &&
               Lists(s, "LEFTPANEL", "new.txt");
    });
    FKsable->Shot("archive-added", true);
    ASSERT_TRUE(addedIn);

    // Opened again from its folder, the ZIP still holds it.
    ASSERT_TRUE(KeysThen({"Tab", "Home", "Return"}, "back in the folder", [&](const QJsonObject& s) {
        return s.value("LEFTPANEL").toObject().value("PanelType").toInt() == 1;
    }));
    ASSERT_TRUE(KeysThen({"Return"}, "the ZIP open again with new.txt", [](const QJsonObject& s) {
        return s.value("LEFTPANEL").toObject().value("PanelType").toInt() == 3 &&
               Lists(s, "LEFTPANEL", "new.txt");
    }));
}

TEST_F(ArchiveE2ETest, MoveOutDeletesFromTheArchiveAndFailuresAreTold) {
    const std::string left = FTree.Folder("left");
    const std::string right = FTree.Folder("right");
    FTree.File("src/Makefile", "all:\n");
    FTree.File("src/keep.txt", "keep");
    const TRunResult zip = e2e::Run(
        {"sh", "-c", "cd \"$0\" && exec zip -q \"$1\" Makefile keep.txt", FTree / "src", left + "/box.zip"},
        {});
    ASSERT_EQ(zip.ExitCode, 0) << zip.Out;
    const auto openZipAndPick = [&](const std::string& name) {
        ASSERT_TRUE(KeysThen({"Home", "Down", "Return"}, "the ZIP open", [](const QJsonObject& s) {
            return s.value("LEFTPANEL").toObject().value("PanelType").toInt() == 3;
        }));
        std::vector<std::string> keys = {"Home"};
        const std::vector<std::string> names = NamesOf(FKsable->State(), "LEFTPANEL");
        const auto at = std::find(names.begin(), names.end(), name);
        ASSERT_NE(at, names.end());
        keys.insert(keys.end(), static_cast<std::size_t>(at - names.begin()), "Down");
        // Marked: with nothing marked, every entry of the archive is taken.
        keys.push_back("Insert");
        ASSERT_TRUE(KeysThen(keys, name + " marked", [&](const QJsonObject& s) {
            return Strings(s.value("LEFTPANEL").toObject().value("Marked")) == std::vector<std::string>{name};
        }));
    };

    // F6: Makefile reaches the right panel's folder and leaves the archive.
    Start(left, right);
    openZipAndPick("Makefile");
    ASSERT_TRUE(KeysThen({"F6"}, "the move dialog", [](const QJsonObject& s) {
        return s.value("Dialog").toString() == "CopyFilesForm";
    }));
    ASSERT_TRUE(KeysThen({"Return"}, "Makefile moved out of the ZIP", [](const QJsonObject& s) {
        return s.value("Dialog").toString().isEmpty() && Lists(s, "RIGHTPANEL", "Makefile") &&
               !Lists(s, "LEFTPANEL", "Makefile") && Lists(s, "LEFTPANEL", "keep.txt");
    }));
    EXPECT_EQ(Contents(right + "/Makefile"), "all:\n");
    // F8 deletes the marked entry; the panel shows the archive as it is now.
    ASSERT_TRUE(KeysThen({"Home", "Down", "Insert", "F8"}, "the delete question",
                         [](const QJsonObject& s) { return s.value("Dialog").toString() == "DeleteFiles"; }));
    ASSERT_TRUE(KeysThen({"Return"}, "keep.txt deleted from the ZIP", [](const QJsonObject& s) {
        return s.value("Dialog").toString().isEmpty() && !Lists(s, "LEFTPANEL", "keep.txt");
    }));
    FKsable.reset();
    // The archive lost its last entry; the next runs use a fresh one.
    std::filesystem::remove(left + "/box.zip");
    const TRunResult again = e2e::Run(
        {"sh", "-c", "cd \"$0\" && exec zip -q \"$1\" Makefile keep.txt", FTree / "src", left + "/box.zip"},
        {});
    ASSERT_EQ(again.ExitCode, 0) << again.Out;

    // A manager that fails: its exit status and its last words are shown, the archive is kept.
    const std::string bin = FTree.Folder("bin");
    {
        std::ofstream stub(bin + "/failing-zip");
        stub << "#!/bin/sh\necho 'zip error: disk is full' >&2\nexit 2\n";
    }
    std::filesystem::permissions(bin + "/failing-zip", std::filesystem::perms::owner_all);
    FKsable = std::make_unique<TKsable>(*FServer, FHome);
    FKsable->SetSetting(ProgramKey + "\\m_archivelist", "linescount", "0");
    FKsable->SetSetting(ProgramKey + "\\m_archivelist", "line0",
                        "ZIP|failing||" + bin + "/failing-zip #ARCHIVENAME# @#FILELIST#||");
    ASSERT_TRUE(FKsable->Start()) << FKsable->Failure();
    openZipAndPick("keep.txt");
    ASSERT_TRUE(KeysThen({"F8"}, "the delete question",
                         [](const QJsonObject& s) { return s.value("Dialog").toString() == "DeleteFiles"; }));
    ASSERT_TRUE(KeysThen({"Return"}, "the manager's failure told",
                         [](const QJsonObject& s) { return s.value("Dialog").toString() == "MessageForm"; }));
    FKsable->Shot("archive-manager-failed", true);
    ASSERT_TRUE(KeysThen({"Return"}, "the message closed", [](const QJsonObject& s) {
        return s.value("Dialog").toString().isEmpty() && Lists(s, "LEFTPANEL", "keep.txt");
    }));
    FKsable.reset();

    // No manager at all: that is said.
    FKsable = std::make_unique<TKsable>(*FServer, FHome);
    FKsable->SetSetting(ProgramKey, "SettingsArchiveAutoLocate", "0");
    FKsable->SetSetting(ProgramKey + "\\m_archivelist", "line0", "");
    ASSERT_TRUE(FKsable->Start()) << FKsable->Failure();
    openZipAndPick("keep.txt");
    ASSERT_TRUE(KeysThen({"F8"}, "the delete question",
                         [](const QJsonObject& s) { return s.value("Dialog").toString() == "DeleteFiles"; }));
    ASSERT_TRUE(KeysThen({"Return"}, "no manager told",
                         [](const QJsonObject& s) { return s.value("Dialog").toString() == "MessageForm"; }));
    FKsable->Shot("archive-no-manager", true);

    // Copying out needs no manager: the program reads the ZIP itself.
    ASSERT_TRUE(KeysThen({"Return"}, "the message closed",
                         [](const QJsonObject& s) { return s.value("Dialog").toString().isEmpty(); }));
    ASSERT_TRUE(KeysThen({"F5"}, "the copy dialog", [](const QJsonObject& s) {
        return s.value("Dialog").toString() == "CopyFilesForm";
    }));
    ASSERT_TRUE(KeysThen({"Return"}, "keep.txt extracted without a manager", [](const QJsonObject& s) {
        return s.value("Dialog").toString().isEmpty() && Lists(s, "RIGHTPANEL", "keep.txt");
    }));
    EXPECT_EQ(Contents(right + "/keep.txt"), "keep");
}

} // namespace
} // namespace ks::e2e
