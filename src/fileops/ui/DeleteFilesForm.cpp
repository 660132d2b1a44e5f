#include "fileops/ui/DeleteFilesForm.h"

namespace ks {

TDeleteChoice ShowDeleteFilesForm(bool /*archivePanel*/, QWidget* /*parent*/) {
    return {};
}

} // namespace ks
