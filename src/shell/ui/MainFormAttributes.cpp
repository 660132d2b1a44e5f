#include "shell/ui/MainForm.h"

#include <string>
#include <string_view>
#include <vector>

#include "controls/MessageBox.h"
#include "fileops/ui/ChangeAttrForm.h"
#include "foundation/Language.h"
#include "foundation/System.h"
#include "panel/ItemAttributes.h"

namespace ks {

namespace {

// The names of the items that could not be changed, one a line; a long list is cut, so the
// message still fits on the screen.
std::string FailedList(const std::vector<std::string>& failed) {
    constexpr std::size_t Shown = 10;
    std::string list;
    for (std::size_t i = 0; i < failed.size() && i < Shown; ++i)
        list += "\n" + failed[i];
    if (failed.size() > Shown)
        list += "\n" + FormatLangText(LangTextOr("_STRAttrFailedMore", "... and %s more"),
                                      {std::to_string(failed.size() - Shown)});
    return list;
}

} // namespace

void TMainForm::ChangeAttributesClick() {
    TKMYFILEPANEL& panel = *FActivePanel;
    if (panel.Busy())
        return;
    const std::vector<TAttrItem> items = AttributeItems(panel);
    if (items.empty())
        return;
    std::vector<std::uint32_t> attrs;
    attrs.reserve(items.size());
    for (const TAttrItem& item : items)
        attrs.push_back(item.Attr);
    const TChangeAttrChoice choice = TChangeAttrForm::Execute(attrs, this);
    if (!choice.Change)
        return;

    const std::vector<std::string> failed = ChangeItemAttributes(FileSystem(), items, choice.What);
    panel.ReadPanel(true, true);
    TKMYFILEPANEL& other = OtherPanel(panel);
    if (&other != &panel && other.PanelType() == ptFolder && panel.PanelType() == ptFolder &&
        other.GetPanelPath() == panel.GetPanelPath())
        other.ReadPanel(true, true);

    if (choice.DateTimeUnreadable)
        Ask(FormatLangText(LangTextOr("_STRAttrBadDateTime",
                                      "The date '%s' and time '%s' cannot be read: the time stamps were "
                                      "left as they were."),
                           {choice.DateText.toStdString(), choice.TimeText.toStdString()}),
            miExclamation, mbOK, 2);
    if (!failed.empty())
        Ask(FormatLangText(
                LangTextOr("_STRAttrFailed", "The attributes of these items could not be changed:%s"),
                {FailedList(failed)}),
            miExclamation, mbOK, 2);
}

} // namespace ks
