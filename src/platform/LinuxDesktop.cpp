#include "platform/LinuxSystem.h"

#include <QMimeDatabase>
#include <QMimeType>
#include <QString>

#include <utility>

#include "platform/LinuxPaths.h"

// The desktop's shared data: file types from the shared MIME database, the user's locale and the
// clipboard.

namespace ks {

using namespace platform;

std::string TKLinuxSystem::LocaleId() const {
    std::string locale;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = GetEnv(variable);
        if (!locale.empty())
            break;
    }
    // language[_territory][.codeset][@modifier]
    const std::string name = locale.substr(0, locale.find_first_of(".@"));
    const std::string language = name.substr(0, name.find('_'));
    if (name == "de_AT")
        return "00000C07";
    static const std::pair<std::string_view, std::string_view> Table[] = {
        {"sk", "0000041B"}, {"cs", "00000405"}, {"hu", "0000040E"}, {"nl", "00000413"},
        {"pl", "00000415"}, {"ru", "00000419"}, {"de", "00000407"}};
    for (const auto& [code, id] : Table) {
        if (language == code)
            return std::string(id);
    }
    return {};
}

namespace {

// The MIME type the shared database gives a file name with this extension; invalid when the
// extension is empty or unknown.
QMimeType MimeTypeOfExtension(std::string_view ext) {
    if (ext.empty())
        return {};
    const std::string name = ext[0] == '.' ? "x" + std::string(ext) : "x." + std::string(ext);
    const QMimeType type =
        QMimeDatabase().mimeTypeForFile(QString::fromStdString(name), QMimeDatabase::MatchExtension);
    return type.isDefault() ? QMimeType() : type;
}

} // namespace

std::string TKLinuxSystem::FileTypeName(std::string_view ext) const {
    const QMimeType type = MimeTypeOfExtension(ext);
    return type.isValid() ? type.comment().toStdString() : std::string();
}

std::string TKLinuxSystem::ContentType(std::string_view ext) const {
    const QMimeType type = MimeTypeOfExtension(ext);
    return type.isValid() ? type.name().toStdString() : std::string();
}

void TKLinuxSystem::CopyTextToClipboard(const std::string& text) {
    if (FClipboardSetter)
        FClipboardSetter(text);
}

std::string TKLinuxSystem::GetClipboardText() {
    return FClipboardGetter ? FClipboardGetter() : std::string();
}

void TKLinuxSystem::SetClipboard(TClipboardSetter setter, TClipboardGetter getter) {
    FClipboardSetter = std::move(setter);
    FClipboardGetter = std::move(getter);
}

} // namespace ks
