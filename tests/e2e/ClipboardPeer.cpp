// A second program on the X display for the clipboard tests, made with Qt alone (none of
// kSable's code), so that both ends of a round trip are checked against each other:
//
//   ks_clipboard_peer put copy|cut NAME...          owns the clipboard with the names as file
//                                                   URIs in every format file managers use
//   ks_clipboard_peer put-uri-list copy|cut NAME... only "text/uri-list" and
//                                                   "application/x-kde-cutselection"
//   ks_clipboard_peer get [FORMAT]                  prints the clipboard's data of FORMAT, by
//                                                   default "x-special/gnome-copied-files", else
//                                                   "text/uri-list"
//
// put prints "ready" once the clipboard is its own and exits (0) when another program takes it,
// or after 30 s (2). get exits 1 when the clipboard holds nothing of the format.

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTimer>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

int Usage() {
    std::fputs("usage: ks_clipboard_peer put|put-uri-list copy|cut NAME... | get [FORMAT]\n", stderr);
    return 64;
}

void Print(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    // Qt takes options such as "-display" out of its arguments; the names must all stay.
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    QClipboard* clipboard = QGuiApplication::clipboard();

    if (!args.empty() && args[0] == "get") {
        const QString format = args.size() > 1 ? QString::fromStdString(args[1]) : QString();
        const QMimeData* data = clipboard->mimeData();
        if (data == nullptr)
            return 1;
        for (const QString& wanted : format.isEmpty()
                                         ? QStringList{"x-special/gnome-copied-files", "text/uri-list"}
                                         : QStringList{format}) {
            if (data->hasFormat(wanted)) {
                Print(data->data(wanted));
                return 0;
            }
        }
        return 1;
    }

    if (args.size() < 3 || (args[0] != "put" && args[0] != "put-uri-list") ||
        (args[1] != "copy" && args[1] != "cut"))
        return Usage();
    const bool cut = args[1] == "cut";
    QByteArray gnome = cut ? "cut" : "copy";
    QByteArray uris;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const QByteArray uri = "file://" + QByteArray::fromStdString(args[i]).toPercentEncoding("/");
        gnome += "\n" + uri;
        uris += uri + "\r\n";
    }
    auto* data = new QMimeData;
    data->setData("text/uri-list", uris);
    data->setData("application/x-kde-cutselection", cut ? "1" : "0");
    if (args[0] == "put")
        data->setData("x-special/gnome-copied-files", gnome);
    clipboard->setMimeData(data);
    // The server refuses an owner whose time is older than the last change.
    if (clipboard->mimeData() != data) {
        std::fputs("the clipboard could not be taken\n", stderr);
        return 1;
    }
    // Qt may miss the loss: two programs that set the clipboard at the same server time (no
    // input events move it on this display) do not see each other's change. The clipboard asks
    // the server for the owner, and hands back the data put here only while it is still ours.
    QTimer owner;
    QObject::connect(&owner, &QTimer::timeout, &app, [&] {
        if (clipboard->mimeData() != data)
            app.exit(0);
    });
    owner.start(20);
    QTimer::singleShot(30000, &app, [&] { app.exit(2); });
    Print("ready\n");
    return app.exec();
}
