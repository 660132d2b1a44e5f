#include "panel/PanelCommands.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "foundation/Keys.h"

namespace ks {
namespace {

// Each key with the commands that run for it: those its key map gives and its rules allow.
TEST(PanelCommandsTest, KeyMapAndRules) {
    enum TCond : unsigned {
        cNone = 0,
        cBackspaceUp = 1,
        cDelKeyDeletes = 2,
        cBusy = 4,
        cCountOff = 8,
        cDeleteOff = 16,
    };
    struct TCase {
        int Key;
        std::uint32_t Shift;
        unsigned Cond;
        TPanelCommand First;
        TPanelCommand Then = pcNone;
    };
    const auto letter = [](char c) { return VK_LETTER(c); };
    std::vector<TCase> cases = {
        {VK_ESCAPE, ssNone, cNone, pcAbort},
        {VK_ESCAPE, ssShift, cBusy, pcAbort},
        {VK_UP, ssNone, cNone, pcCursorUp},
        {VK_UP, ssAlt, cBusy, pcCursorUp},
        {VK_UP, ssCtrl, cNone, pcScrollUp},
        {VK_UP, ssCtrl | ssShift, cNone, pcCursorUp},
        {VK_DOWN, ssShift, cNone, pcCursorDown},
        {VK_DOWN, ssCtrl, cBusy, pcScrollDown},
        {VK_PRIOR, ssShift, cNone, pcPageUp},
        {VK_PRIOR, ssCtrl, cNone, pcPageUp, pcUpFolder},
        {VK_PRIOR, ssCtrl, cBusy, pcPageUp},
        {VK_NEXT, ssCtrl, cBusy, pcPageDown},
        {VK_HOME, ssShift, cNone, pcCursorHome},
        {VK_END, ssNone, cBusy, pcCursorEnd},
        {VK_LEFT, ssNone, cBusy, pcPageUp},
        {VK_LEFT, ssShift, cNone, pcNone},
        {VK_LEFT, ssCtrl, cNone, pcPreviousDrive},
        {VK_LEFT, ssCtrl, cBusy, pcNone},
        {VK_RIGHT, ssNone, cNone, pcPageDown},
        {VK_RIGHT, ssAlt, cNone, pcNone},
        {VK_RIGHT, ssCtrl, cNone, pcNextDrive},
        {VK_F(1), ssAlt, cNone, pcDriveListLeft},
        {VK_F(1), ssAlt, cBusy, pcNone},
        {VK_F(2), ssAlt, cNone, pcDriveListRight},
        {VK_F(2), ssAlt | ssCtrl, cNone, pcNone},
        {letter('F'), ssCtrl, cBusy, pcConnectFTP},
        {letter('F'), ssCtrl | ssShift, cNone, pcNone},
        {VK_0 + 1, ssAlt, cBusy, pcNone},
        {VK_0 + 2, ssAlt | ssCtrl, cNone, pcNone},
        {VK_0 + 2, ssShift, cNone, pcNone},
        {VK_APPS, ssNone, cNone, pcPopUpMenu},
        {VK_APPS, ssCtrl, cNone, pcPopUpMenu},
        {VK_APPS, ssNone, cBusy, pcNone},
        {VK_F10, ssShift, cNone, pcPopUpMenu},
        {VK_F10, ssNone, cNone, pcNone},
        {VK_RETURN, ssNone, cNone, pcOpenItem},
        {VK_RETURN, ssShift, cNone, pcOpenItemAlternate},
        {VK_RETURN, ssCtrl, cNone, pcNone},
        {VK_RETURN, ssNone, cBusy, pcNone},
        {VK_BACK, ssNone, cNone, pcNone},
        {VK_BACK, ssNone, cBackspaceUp, pcUpFolder},
        {VK_BACK, ssShift, cBackspaceUp, pcNone},
        {VK_OEM_5, ssCtrl, cNone, pcRootFolder},
        {VK_OEM_5, ssCtrl, cBusy, pcNone},
        {VK_INSERT, ssCtrl, cNone, pcCopyName},
        {VK_INSERT, ssCtrl, cBusy, pcNone},
        {VK_F(1), ssCtrl, cNone, pcSortByName},
        {VK_F(2), ssCtrl, cNone, pcSortByExt},
        {VK_F(3), ssCtrl, cCountOff, pcSortBySize},
        {VK_F(3), ssCtrl, cBusy, pcNone},
        {VK_F(6), ssCtrl, cNone, pcToggleFolderFirst},
        {VK_F(6), ssNone, cNone, pcNone},
        {VK_F(7), ssCtrl, cNone, pcToggleExecutableFirst},
        {letter('R'), ssCtrl, cNone, pcReread},
        {letter('R'), ssCtrl, cBusy, pcNone},
        {letter('R'), ssNone, cNone, pcNone},
        {VK_INSERT, ssNone, cNone, pcToggleMarkDown},
        {VK_INSERT, ssShift, cNone, pcNone},
        {VK_INSERT, ssNone, cBusy, pcNone},
        {VK_SPACE, ssNone, cCountOff, pcToggleMarkCount}, // marks; only the count waits
        {VK_SPACE, ssNone, cBusy, pcNone},
        {VK_MULTIPLY, ssNone, cNone, pcInvertMarks},
        {VK_MULTIPLY, ssShift, cNone, pcNone},
        {VK_ADD, ssNone, cNone, pcSelectByMask},
        {VK_SUBTRACT, ssNone, cNone, pcDeselectByMask},
        {VK_SUBTRACT, ssNone, cBusy, pcNone},
        {VK_SUBTRACT, ssCtrl, cNone, pcUnmarkAll},
        {VK_ADD, ssCtrl, cNone, pcMarkAll},
        {letter('A'), ssCtrl, cNone, pcMarkAll},
        {letter('A'), ssCtrl, cBusy, pcNone},
        {letter('A'), ssNone, cNone, pcNone},
        {VK_F(3), ssNone, cNone, pcViewOrCount},
        {VK_F(3), ssNone, cCountOff, pcNone},
        {VK_F(3), ssNone, cBusy, pcNone},
        {letter('Q'), ssCtrl, cDeleteOff, pcCount},
        {letter('Q'), ssCtrl, cCountOff, pcNone},
        {letter('Q'), ssNone, cNone, pcNone},
        {VK_F(8), ssNone, cCountOff, pcDelete},
        {VK_F(8), ssNone, cDeleteOff, pcNone},
        {VK_F(8), ssNone, cBusy, pcNone},
        {VK_F(8), ssShift, cNone, pcNone},
        {VK_DELETE, ssNone, cNone, pcNone},
        {VK_DELETE, ssNone, cDelKeyDeletes, pcDelete},
        {VK_DELETE, ssNone, cDelKeyDeletes | cDeleteOff, pcNone},
        {VK_DELETE, ssCtrl, cDeleteOff, pcRemoveFromList},
        {VK_DELETE, ssCtrl, cBusy, pcNone},
        {letter('S'), ssCtrl, cNone, pcSortList},
        {letter('S'), ssCtrl, cBusy, pcNone},
        {letter('S'), ssAlt, cNone, pcNone},
    };
    // Saving a folder in its slot runs while the panel works; opening one waits.
    for (int n = 0; n < 10; ++n) {
        cases.push_back({VK_0 + n, ssCtrl, cBusy, static_cast<TPanelCommand>(pcSaveFolder0 + n)});
        cases.push_back({VK_0 + n, ssAlt, cNone, static_cast<TPanelCommand>(pcOpenFolder0 + n)});
    }

    std::set<int> covered;
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "key " << c.Key << " shift " << c.Shift << " cond " << c.Cond);
        TPanelKeyContext keys;
        keys.BackspaceUp = (c.Cond & cBackspaceUp) != 0;
        keys.DelKeyDeletes = (c.Cond & cDelKeyDeletes) != 0;
        TPanelCommandContext rules;
        rules.Busy = (c.Cond & cBusy) != 0;
        rules.CountDisabled = (c.Cond & cCountOff) != 0;
        rules.DeleteDisabled = (c.Cond & cDeleteOff) != 0;
        std::vector<TPanelCommand> expected;
        for (TPanelCommand command : {c.First, c.Then})
            if (command != pcNone)
                expected.push_back(command);
        // A mouse button held with the key changes nothing.
        for (std::uint32_t buttons : {0u, static_cast<std::uint32_t>(ssLeft)}) {
            const TPanelKeyAction action = MapPanelKey(c.Key, c.Shift | buttons, keys);
            std::vector<TPanelCommand> run;
            for (TPanelCommand command : {action.First, action.Then})
                if (command != pcNone && PanelCommandAllowed(command, rules))
                    run.push_back(command);
            EXPECT_EQ(run, expected);
        }
        covered.insert(expected.begin(), expected.end());
    }
    // Every command has a key.
    for (int command = pcNone + 1; command < pcCommandCount; ++command)
        EXPECT_EQ(covered.count(command), 1u) << "command " << command;
    EXPECT_FALSE(PanelCommandAllowed(pcNone, {}));
}

} // namespace
} // namespace ks
