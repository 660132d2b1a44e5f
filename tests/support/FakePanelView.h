#pragma once

#include <map>
#include <string>
#include <vector>

#include "panel/KMYFILEPANEL.h"

namespace ks::test {

/// A TKPanelView that records every request: the repaint counts, the rows drawn, the painting
/// lock and the timers as they stand, and every call in order as text.
class FakePanelView : public TKPanelView {
public:
    int FCursorRepaints = 0;
    int FFullRepaints = 0;
    int FFocusRequests = 0;
    bool FLocked = false;
    /// (index, weight) of every DrawItem call.
    std::vector<std::pair<int, int>> FDrawn;
    /// Interval of each running timer; a stopped timer is removed.
    std::map<TKPanelTimer, int> FTimers;
    /// Every call in order: "RepaintCursor", "RepaintAll", "DrawItem 3 -1", "Lock 1",
    /// "StartTimer 0 1000", "StopTimer 0", "TakeFocus".
    std::vector<std::string> FCalls;

    void RepaintCursor() override {
        ++FCursorRepaints;
        FCalls.push_back("RepaintCursor");
    }
    void RepaintAll() override {
        ++FFullRepaints;
        FCalls.push_back("RepaintAll");
    }
    void DrawItem(int index, int weight) override {
        FDrawn.emplace_back(index, weight);
        FCalls.push_back("DrawItem " + std::to_string(index) + " " + std::to_string(weight));
    }
    void LockPainting(bool locked) override {
        FLocked = locked;
        FCalls.push_back(locked ? "Lock 1" : "Lock 0");
    }
    void StartTimer(TKPanelTimer timer, int intervalMs) override {
        FTimers[timer] = intervalMs;
        FCalls.push_back("StartTimer " + std::to_string(static_cast<int>(timer)) + " " +
                         std::to_string(intervalMs));
    }
    void StopTimer(TKPanelTimer timer) override {
        FTimers.erase(timer);
        FCalls.push_back("StopTimer " + std::to_string(static_cast<int>(timer)));
    }
    void TakeFocus() override {
        ++FFocusRequests;
        FCalls.push_back("TakeFocus");
    }

    bool TimerRunning(TKPanelTimer timer) const { return FTimers.count(timer) != 0; }
    /// Forgets what was recorded so far (the lock and running timers stay).
    void Clear() {
        FCursorRepaints = FFullRepaints = FFocusRequests = 0;
        FDrawn.clear();
        FCalls.clear();
    }
};

} // namespace ks::test
