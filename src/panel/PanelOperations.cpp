#include "panel/KMYFILEPANEL.h"

namespace ks {

void TKMYFILEPANEL::CountSizes() {}
void TKMYFILEPANEL::DeleteItems() {}
void TKMYFILEPANEL::FindFiles(const std::string&, const std::string&, const std::string&, bool, bool, bool) {}
void TKMYFILEPANEL::ComparePanels(bool, bool, bool, bool) {}
void TKMYFILEPANEL::BuildItemInfo() {}

} // namespace ks
