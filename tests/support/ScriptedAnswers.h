#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "controls/MessageBox.h"
#include "panel/KMYFILEPANEL.h"

namespace ks::test {

/// Answers a panel's questions from a script of (expected text, answer); a question the script
/// does not expect fails the test and is answered with Abort.
struct TScriptedAnswers {
    std::deque<std::pair<std::string, int>> Script;
    std::vector<std::string> Asked;

    void Attach(TKMYFILEPANEL& panel) {
        panel.AskUser = [this](const std::string& text, int, int, int) {
            Asked.push_back(text);
            if (Script.empty()) {
                ADD_FAILURE() << "unexpected question: " << text;
                return mrAbort;
            }
            auto [expected, answer] = Script.front();
            Script.pop_front();
            EXPECT_EQ(text, expected);
            return answer;
        };
    }
};

} // namespace ks::test
