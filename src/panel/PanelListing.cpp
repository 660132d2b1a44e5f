#include "panel/KMYFILEPANEL.h"

namespace ks {

void TKMYFILEPANEL::ReadPanel(bool, bool) {}
void TKMYFILEPANEL::ExecuteItem(bool) {}
void TKMYFILEPANEL::GoToRoot() {}
void TKMYFILEPANEL::SwitchDrive(bool) {}
void TKMYFILEPANEL::GotFocus() {}
void TKMYFILEPANEL::WatcherChanged() {}
void TKMYFILEPANEL::TimerTick(TKPanelTimer) {}
void TKMYFILEPANEL::ReadFolder(bool) {}
bool TKMYFILEPANEL::ReadFolderKeepingState() {
    return false;
}
void TKMYFILEPANEL::ReadDriveList() {}
void TKMYFILEPANEL::PruneFindResults() {}

} // namespace ks
