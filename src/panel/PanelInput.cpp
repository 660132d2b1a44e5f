#include "panel/KMYFILEPANEL.h"

#include <algorithm>

namespace ks {

namespace {

constexpr int AutoScrollIntervalMs = 50;

// Rows used by the cursor arithmetic: a panel without geometry yet still keeps its cursor row
// visible instead of putting the top row past the cursor.
int RowsOf(const TKMYFILEPANEL& panel) {
    return std::max(panel.FVisibleRows, 1);
}

// A cursor left outside the list (the list shrank under it) is put back on the nearest item
// before a move starts from it.
void ClampCursor(TKITEMSSTRUC& h) {
    if (h.FItemIndex < 0)
        h.SetItemIndex(0);
    else if (h.FItemIndex >= h.Count())
        h.SetItemIndex(h.Count() - 1);
}

// Runs moves quietly and reports the cursor item once at the end when it changed, so that
// paging or jumping over a long list gives one report instead of one per row.
template <typename Moves> void QuietMoves(TKMYFILEPANEL& panel, Moves moves) {
    TKITEMSSTRUC& h = *panel.FItemsStruc;
    const int before = h.FItemIndex;
    const bool wasQuiet = panel.Quiet();
    panel.FState |= psQuiet;
    moves();
    if (!wasQuiet) {
        panel.FState &= ~static_cast<std::uint32_t>(psQuiet);
        if (h.FItemIndex != before)
            h.SetItemIndex(h.FItemIndex);
    }
}

// A page move: one step per visible row, with painting held off and a single cursor report.
void MovePage(TKMYFILEPANEL& panel, const std::function<void()>& step) {
    if (panel.FItemsStruc->Count() == 0)
        return;
    if (panel.FView != nullptr)
        panel.FView->LockPainting(true);
    QuietMoves(panel, [&] {
        for (int i = 0; i < panel.FVisibleRows; ++i)
            step();
    });
    if (panel.FView != nullptr)
        panel.FView->LockPainting(false);
}

} // namespace

void TKMYFILEPANEL::CursorUp() {
    TKITEMSSTRUC& h = *FItemsStruc;
    if (h.Count() == 0)
        return;
    ClampCursor(h);
    if (h.FItemIndex > 0)
        h.SetItemIndex(h.FItemIndex - 1);
    if (h.FItemIndex < h.FTopIndex)
        h.FTopIndex = h.FItemIndex;
}

void TKMYFILEPANEL::CursorDown() {
    TKITEMSSTRUC& h = *FItemsStruc;
    if (h.Count() == 0)
        return;
    ClampCursor(h);
    if (h.FItemIndex < h.Count() - 1)
        h.SetItemIndex(h.FItemIndex + 1);
    const int rows = RowsOf(*this);
    if (h.FItemIndex - h.FTopIndex >= rows)
        h.FTopIndex = h.FItemIndex - rows + 1;
}

void TKMYFILEPANEL::ScrollUp() {
    TKITEMSSTRUC& h = *FItemsStruc;
    if (h.Count() == 0)
        return;
    if (h.FTopIndex <= 0) {
        CursorUp();
        return;
    }
    ClampCursor(h);
    --h.FTopIndex;
    const int lastVisible = h.FTopIndex + RowsOf(*this) - 1;
    if (h.FItemIndex > lastVisible)
        h.SetItemIndex(lastVisible);
}

void TKMYFILEPANEL::ScrollDown() {
    TKITEMSSTRUC& h = *FItemsStruc;
    if (h.Count() == 0)
        return;
    if (h.FTopIndex >= h.Count() - RowsOf(*this)) {
        CursorDown();
        return;
    }
    ClampCursor(h);
    ++h.FTopIndex;
    if (h.FItemIndex < h.FTopIndex)
        h.SetItemIndex(h.FTopIndex);
}

void TKMYFILEPANEL::PageUp() {
    MovePage(*this, [this] { CursorUp(); });
}

void TKMYFILEPANEL::PageDown() {
    MovePage(*this, [this] { CursorDown(); });
}

void TKMYFILEPANEL::CursorHome() {
    TKITEMSSTRUC& h = *FItemsStruc;
    h.FTopIndex = 0;
    if (h.Count() == 0) {
        // A cleared list starts again at the top; the clear reports the empty cursor itself.
        h.FItemIndex = 0;
        h.FCurrentItem = nullptr;
        return;
    }
    h.SetItemIndex(0);
}

void TKMYFILEPANEL::CursorEnd() {
    TKITEMSSTRUC& h = *FItemsStruc;
    if (h.Count() == 0)
        return;
    if (FView != nullptr)
        FView->LockPainting(true);
    // The same place as CursorDown repeated once per item, reached in one step.
    QuietMoves(*this, [this, &h] {
        ClampCursor(h);
        h.SetItemIndex(h.Count() - 1);
        const int rows = RowsOf(*this);
        if (h.FItemIndex - h.FTopIndex >= rows)
            h.FTopIndex = h.FItemIndex - rows + 1;
    });
    if (FView != nullptr)
        FView->LockPainting(false);
}

void TKMYFILEPANEL::SetGeometry(int width, int height, int itemHeight) {
    FWidth = std::max(width, 0);
    FHeight = std::max(height, 0);
    if (itemHeight > 0)
        FItemHeight = itemHeight;
    FVisibleRows = FHeight > 0 ? FHeight / FItemHeight : 0;
}

// Inclusive coordinates like every TRect: the row covers FItemHeight pixel rows and the whole
// width.
TRect TKMYFILEPANEL::ItemRect(int index) const {
    const int row = index - FItemsStruc->FTopIndex;
    return {0, row * FItemHeight, FWidth - 1, (row + 1) * FItemHeight - 1};
}

int TKMYFILEPANEL::ItemAtPos(int y) const {
    const TKITEMSSTRUC& h = *FItemsStruc;
    if (h.Count() == 0 || y < 0 || FItemHeight <= 0 || y >= FItemHeight * FVisibleRows)
        return -1;
    const int index = y / FItemHeight + h.FTopIndex;
    return index < h.Count() ? index : -1;
}

bool TKMYFILEPANEL::CheckCursor() {
    TKITEMSSTRUC& h = *FItemsStruc;
    const int oldTop = h.FTopIndex;
    if (h.FTopIndex < 0)
        h.FTopIndex = 0;
    const int count = h.Count();
    const int rows = RowsOf(*this);
    if (count == 0) {
        // An empty list shows its first row.
        h.FTopIndex = 0;
        h.FItemIndex = 0;
        h.FCurrentItem = nullptr;
    } else {
        if (h.FItemIndex < 0) {
            h.SetItemIndex(0);
        } else if (h.FItemIndex >= count) {
            // To the first item and then to the last, as Home followed by End would.
            h.FTopIndex = 0;
            h.SetItemIndex(count - 1);
            if (h.FItemIndex >= rows)
                h.FTopIndex = h.FItemIndex - rows + 1;
        }
    }
    if (h.FItemIndex >= h.FTopIndex + rows)
        h.FTopIndex = std::max(h.FItemIndex + 1 - rows, 0);
    // A cursor above the top row (the list changed under it) brings the view back to it.
    if (count > 0 && h.FItemIndex < h.FTopIndex)
        h.FTopIndex = h.FItemIndex;
    return h.FTopIndex != oldTop;
}

void TKMYFILEPANEL::ExternalThread() {
    if (!Options.PanelAlphaCursorTrail)
        return;
    const TKITEMSSTRUC& h = *FItemsStruc;
    const int rows = std::min(FVisibleRows, static_cast<int>(FTrail.size()));
    const int cursorRow = h.FItemIndex - h.FTopIndex;
    // A weight below 3 would give a step of 0 and leave its trail for ever.
    const int step = std::max(FCurrentAlpha / 3, 1);
    bool faded = false;
    for (int row = 0; row < rows; ++row) {
        int& weight = FTrail[static_cast<std::size_t>(row)];
        if (row == cursorRow || weight == 0)
            continue;
        weight = std::max(weight - step, 0);
        faded = true;
    }
    if (faded)
        RepaintCursor();
    if (cursorRow >= 0 && cursorRow < FVisibleRows && h.GetFileItem(h.FItemIndex) != nullptr) {
        const int wanted = FActive ? Options.PanelAlphaActive : Options.PanelAlphaInactive;
        if (wanted != FCurrentAlpha) {
            FCurrentAlpha = wanted;
            RepaintCursor();
        }
    }
}

void TKMYFILEPANEL::MouseDown(TMouseButton button, std::uint32_t shift, int x, int y) {
    if (!FActive) {
        if (FView != nullptr)
            FView->TakeFocus();
        GotFocus();
    }
    const std::uint32_t buttonBit = button == mbLeftButton    ? ssLeft
                                    : button == mbRightButton ? ssRight
                                                              : ssMiddle;
    const int index = ItemAtPos(y);
    if (index >= 0) {
        FMouseTracking = true;
        if (button == mbRightButton) {
            FRightMarkState = !FItemsStruc->FItems[static_cast<std::size_t>(index)]->Marked;
            FRightMarking = true;
        }
    }
    FMouseIndex = -1;
    MouseMove(shift | buttonBit, x, y);
    FPressIndex = FItemsStruc->FItemIndex;
}

void TKMYFILEPANEL::MouseMove(std::uint32_t shift, int x, int y) {
    TKITEMSSTRUC& h = *FItemsStruc;
    FMouseY = y;
    const bool left = (shift & ssLeft) != 0;
    const bool right = (shift & ssRight) != 0;
    if (!left && !right) {
        FMouseTracking = false;
        FRightMarking = false;
    }

    // A press dragged out of the panel sideways starts dragging its items; coming back inside
    // cancels the drag.
    if (!Busy() && Options.PanelDragEnabled) {
        if ((x < 0 || x > FWidth) && !FDragging && FMouseTracking) {
            if (h.FItemIndex != FPressIndex) {
                h.SetItemIndex(FPressIndex);
                RepaintAll();
            }
            if (FAutoScrolling && FView != nullptr)
                FView->StopTimer(ptmAutoScroll);
            FAutoScrolling = false;
            FDragging = true;
            if (OnStartDrag)
                OnStartDrag();
        } else if (FDragging && x > 0 && x < FWidth && y > 0 && y < FHeight) {
            FDragging = false;
            if (OnCancelDrag)
                OnCancelDrag();
        }
    }
    if (FDragging)
        return;

    if (FMouseTracking && h.Count() > 0) {
        if (y < 0) {
            if (h.FItemIndex != h.FTopIndex)
                h.SetItemIndex(std::min(h.FTopIndex, h.Count() - 1));
            if (!FAutoScrolling && FView != nullptr)
                FView->StartTimer(ptmAutoScroll, AutoScrollIntervalMs);
            FAutoScrolling = true;
        } else if (y >= FItemHeight * FVisibleRows) {
            const int last = std::min(h.FTopIndex + RowsOf(*this) - 1, h.Count() - 1);
            if (h.FItemIndex != last)
                h.SetItemIndex(last);
            if (!FAutoScrolling && FView != nullptr)
                FView->StartTimer(ptmAutoScroll, AutoScrollIntervalMs);
            FAutoScrolling = true;
        } else {
            if (FAutoScrolling && FView != nullptr)
                FView->StopTimer(ptmAutoScroll);
            FAutoScrolling = false;
            const int index = ItemAtPos(y);
            if (index >= 0 && index != FMouseIndex) {
                h.SetItemIndex(index);
                if (!FRightMarking) {
                    FMouseIndex = index;
                    RepaintCursor();
                }
            }
        }
    }

    if (Busy())
        return;
    if (Modifiers(shift) == ssShift && left && !right)
        MarkItems("*.*", mmMark, MarkCursorItem, true, false);
    if (FRightMarking) {
        const int index = ItemAtPos(y);
        if (index >= 0 && index != FMouseIndex) {
            if (h.FItemIndex != index)
                h.SetItemIndex(index);
            FMouseIndex = index;
            MarkItems("", FRightMarkState ? mmMark : mmUnmark, index, true, false);
        }
    }
}

void TKMYFILEPANEL::MouseUp(TMouseButton button, std::uint32_t shift, int x, int y) {
    if (FAutoScrolling && FView != nullptr)
        FView->StopTimer(ptmAutoScroll);
    FAutoScrolling = false;
    FMouseTracking = false;
    FRightMarking = false;
    // The drag, when one ran, ends with the release (the view drops it).
    FDragging = false;
    if (Busy() || button != mbRightButton)
        return;
    const std::uint32_t mods = Modifiers(shift);
    const bool ctrlMenu = Options.PanelCtrlRightClickMenu;
    if (((mods == ssCtrl && ctrlMenu) || (mods == 0 && !ctrlMenu)) && OnPopUpMenu)
        OnPopUpMenu(x, y, false);
}

void TKMYFILEPANEL::EndDrag() {
    if (FAutoScrolling && FView != nullptr)
        FView->StopTimer(ptmAutoScroll);
    FAutoScrolling = false;
    FMouseTracking = false;
    FRightMarking = false;
    FDragging = false;
    FMouseIndex = -1;
}

void TKMYFILEPANEL::DoubleClick() {
    if (!Busy())
        ExecuteItem(false);
}

void TKMYFILEPANEL::MouseWheel(int delta) {
    if (delta == 0)
        return;
    for (int i = 0; i < Options.PanelWheelStep; ++i)
        delta < 0 ? ScrollDown() : ScrollUp();
    RepaintCursor();
}

// The farther the mouse is outside the rows, the more rows each tick moves.
void TKMYFILEPANEL::AutoScrollTick() {
    if (!FMouseTracking) {
        if (FView != nullptr)
            FView->StopTimer(ptmAutoScroll);
        FAutoScrolling = false;
        return;
    }
    const int pace = 2 * std::max(FItemHeight, 1);
    if (FMouseY < 0) {
        for (int i = (-FMouseY) / pace + 1; i > 0; --i)
            CursorUp();
    } else if (FMouseY >= FHeight) {
        for (int i = (FMouseY - FHeight) / pace + 1; i > 0; --i)
            CursorDown();
    }
    RepaintAll();
}

} // namespace ks
