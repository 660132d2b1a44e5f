#include "controls/MessageBox.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace ks {
namespace {

std::vector<std::string> VisibleNames(const TMessageBoxLayout& layout) {
    std::vector<std::string> names;
    for (const int index : layout.Visible)
        names.emplace_back(MessageButtons[index].Name);
    return names;
}

TEST(MessageBoxTest, Layout) {
    struct Case {
        int Buttons;
        std::vector<std::string> Names;
        int ClientWidth;
        std::vector<int> Lefts;
    };
    const Case cases[] = {
        // One OK button centred in the minimum width: (250 - 83) / 2.
        {mbOK, {"mmbOK"}, 250, {83}},
        {mbOK | mbCancel, {"mmbOK", "mmbCancel"}, 250, {39, 127}},
        {787, {"mmbYes", "mmbYesToAll", "mmbNo", "mmbNoToAll", "mmbAbort"}, 499, {32, 120, 208, 296, 384}},
        // Three buttons are 259 wide: 32 + 259 + 32 = 323.
        {mbYes | mbRetry | mbAbort, {"mmbYes", "mmbRetry", "mmbAbort"}, 323, {32, 120, 208}},
        {0, {}, 250, {}},
        {0xFFFF,
         {"mmbYes", "mmbYesToAll", "mmbNo", "mmbNoToAll", "mmbOK", "mmbCancel", "mmbRetry", "mmbAbort"},
         763,
         {32, 120, 208, 296, 384, 472, 560, 648}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Buttons);
        const TMessageBoxLayout layout = LayoutMessageBox(c.Buttons, 2);
        EXPECT_EQ(VisibleNames(layout), c.Names);
        EXPECT_EQ(layout.ClientWidth, c.ClientWidth);
        EXPECT_EQ(layout.ButtonLeft, c.Lefts);
        if (!c.Lefts.empty()) {
            EXPECT_EQ(layout.Left, c.Lefts.front());
        }
    }
}

TEST(MessageBoxTest, UnevenWidthsHalveTowardsZero) {
    std::array<int, 8> widths{};
    widths.fill(83);
    widths[4] = 84; // OK
    const TMessageBoxLayout layout = LayoutMessageBox(mbOK, 2, widths);
    EXPECT_EQ(layout.ClientWidth, 250);
    EXPECT_EQ(layout.Left, 83); // (250 - 84) / 2
    widths[4] = 300;
    EXPECT_EQ(LayoutMessageBox(mbOK, 2, widths).ClientWidth, 364);
}

TEST(MessageBoxTest, DefaultButtonGetsTheFocus) {
    const int all = 0xFFFF;
    const std::pair<int, const char*> cases[] = {
        {0, "mmbYes"},   {1, "mmbNo"},    {2, "mmbOK"},      {3, "mmbCancel"},
        {4, "mmbAbort"}, {5, "mmbRetry"}, {8, "mmbNoToAll"}, {9, "mmbYesToAll"},
    };
    for (const auto& [index, name] : cases) {
        SCOPED_TRACE(index);
        const TMessageBoxLayout layout = LayoutMessageBox(all, index);
        ASSERT_GE(layout.Focused, 0);
        EXPECT_EQ(MessageButtons[layout.Focused].Name, name);
    }
    // Indexes that name no button, or a button not shown, leave the focus on the first button.
    for (const int index : {6, 7, -1, 42}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(MessageButtonOfDefault(index), -1);
        EXPECT_EQ(MessageButtons[LayoutMessageBox(mbYes | mbNo | mbAbort, index).Focused].Name, "mmbYes");
    }
    EXPECT_EQ(MessageButtons[LayoutMessageBox(mbOK, 3).Focused].Name, "mmbOK");
    EXPECT_EQ(LayoutMessageBox(0, 2).Focused, -1);
}

TEST(MessageBoxTest, DeleteQuestionsPreselectTheirButtons) {
    struct Case {
        const char* Name;
        TMessageQuestion Question;
        std::vector<std::string> Names;
        int Enter; // the result of the pre-selected button
    };
    const Case cases[] = {
        {"read-only folder", DeleteReadOnlyQuestion, {"mmbYes", "mmbNo", "mmbAbort"}, mrNo},
        {"cannot be deleted", DeleteRetryQuestion, {"mmbYes", "mmbNo", "mmbNoToAll", "mmbAbort"}, mrNo},
        {"folder not empty",
         DeleteFolderQuestion,
         {"mmbYes", "mmbYesToAll", "mmbNo", "mmbNoToAll", "mmbAbort"},
         mrYes},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const TMessageBoxLayout layout = LayoutMessageBox(c.Question.Buttons, c.Question.DefaultButton);
        EXPECT_EQ(VisibleNames(layout), c.Names);
        ASSERT_GE(layout.Focused, 0);
        EXPECT_EQ(MessageButtons[layout.Focused].ModalResult, c.Enter);
    }
    EXPECT_EQ(DeleteReadOnlyQuestion.Buttons, 19);
}

TEST(MessageBoxTest, EscapeAndOtherResults) {
    struct Case {
        int Buttons;
        int Escape;
    };
    const Case cases[] = {
        {mbOK | mbCancel, mrCancel},          // 12
        {mbYes | mbNo | mbAbort, mrNo},       // 19
        {mbYes | mbRetry | mbAbort, mrAbort}, // 49
        {mbOK | mbRetry | mbAbort, mrAbort},  // 52
        {mbOK, mrAbort},                      // 4
        {mbCancel | mbRetry, mrCancel},       // 40
        {787, mrNo},
        {0, mrAbort},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Buttons);
        EXPECT_EQ(MessageBoxResult(mrCancel, c.Buttons), c.Escape);
        for (const TMessageButton& button : MessageButtons) {
            if (button.ModalResult != mrCancel) {
                EXPECT_EQ(MessageBoxResult(button.ModalResult, c.Buttons), button.ModalResult);
            }
        }
    }
}

TEST(MessageBoxTest, IconCyclesFromEmpty) {
    TMessageIconCycle cycle;
    EXPECT_EQ(cycle.Icon(), miNone);
    EXPECT_EQ(cycle.Phase(), 1);
    const TMessageIcon expected[] = {miExclamation, miError, miQuestion, miExclamation, miError};
    for (const TMessageIcon icon : expected)
        EXPECT_EQ(cycle.Tick(), icon);
    EXPECT_EQ(cycle.Phase(), 3);
}

} // namespace
} // namespace ks
