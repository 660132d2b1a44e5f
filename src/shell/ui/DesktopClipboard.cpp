#include "shell/ui/DesktopClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "panel/ui/PanelWidget.h"

namespace ks {

namespace {

const QString GnomeCopiedFiles = QStringLiteral("x-special/gnome-copied-files");
const QString UriList = QStringLiteral("text/uri-list");
const QString KdeCutSelection = QStringLiteral("application/x-kde-cutselection");

QByteArray Bytes(const std::string& text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

std::string_view View(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

} // namespace

TDesktopClipboard::TDesktopClipboard(QObject* parent, QClipboard* clipboard)
    : QObject(parent), FClipboard(clipboard != nullptr ? clipboard : QGuiApplication::clipboard()) {
    // Every change of the clipboard's owner is reported; a change kSable did not make itself is
    // another program's copy.
    connect(FClipboard, &QClipboard::dataChanged, this, [this] {
        if (!FClipboard->ownsClipboard())
            FForeign = true;
    });
}

void TDesktopClipboard::Put(const std::vector<std::string>& names, bool cut) {
    std::vector<std::string> absolute;
    absolute.reserve(names.size());
    QString plain;
    for (const std::string& name : names) {
        if (FileUri(name).empty())
            continue;
        absolute.push_back(name);
        if (!plain.isEmpty())
            plain += QLatin1Char('\n');
        plain += DecodeFileName(name);
    }
    auto* data = new QMimeData;
    data->setData(UriList, Bytes(UriListText(absolute)));
    data->setData(GnomeCopiedFiles, Bytes(GnomeCopiedFilesText({absolute, cut})));
    data->setData(KdeCutSelection, cut ? QByteArray("1") : QByteArray("0"));
    data->setText(plain);
    // The clipboard owns the data from here on.
    FClipboard->setMimeData(data);
    FForeign = false;
}

std::optional<TClipboardItems> TDesktopClipboard::TakeForeign() {
    if (!FForeign || FClipboard->ownsClipboard())
        return std::nullopt;
    const QMimeData* data = FClipboard->mimeData();
    if (data == nullptr)
        return std::nullopt;
    if (data->hasFormat(GnomeCopiedFiles)) {
        if (std::optional<TClipboardItems> items = ParseGnomeCopiedFiles(View(data->data(GnomeCopiedFiles))))
            return items;
    }
    if (!data->hasFormat(UriList))
        return std::nullopt;
    std::optional<std::vector<std::string>> names = ParseUriList(View(data->data(UriList)));
    if (!names)
        return std::nullopt;
    TClipboardItems items;
    items.Names = std::move(*names);
    items.Cut = data->hasFormat(KdeCutSelection) && data->data(KdeCutSelection).startsWith('1');
    return items;
}

} // namespace ks
