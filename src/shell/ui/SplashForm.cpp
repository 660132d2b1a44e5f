#include "shell/ui/SplashForm.h"

#include "foundation/Language.h"
#include "foundation/ui/SkinBitmap.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QShowEvent>
#include <QtGui/qguiapplication_platform.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include <dlfcn.h>

namespace ks {

namespace {

QImage AsRgb888(const QImage& image) {
    return image.format() == QImage::Format_RGB888 ? image : image.convertToFormat(QImage::Format_RGB888);
}

#if QT_CONFIG(xcb)
// The few libxcb entry points needed to ask for the compositing manager's selection. Qt's own
// xcb plugin has libxcb loaded already; the calls are looked up there so that the program does
// not link against libxcb itself. The layouts are those of the X protocol headers.
struct TXcbCookie {
    unsigned int Sequence;
};
struct TXcbInternAtomReply {
    std::uint8_t ResponseType;
    std::uint8_t Pad0;
    std::uint16_t Sequence;
    std::uint32_t Length;
    std::uint32_t Atom;
};
struct TXcbSelectionOwnerReply {
    std::uint8_t ResponseType;
    std::uint8_t Pad0;
    std::uint16_t Sequence;
    std::uint32_t Length;
    std::uint32_t Owner;
};
using TXcbInternAtom = TXcbCookie (*)(xcb_connection_t*, std::uint8_t, std::uint16_t, const char*);
using TXcbInternAtomReplyFn = TXcbInternAtomReply* (*)(xcb_connection_t*, TXcbCookie, void**);
using TXcbGetSelectionOwner = TXcbCookie (*)(xcb_connection_t*, std::uint32_t);
using TXcbGetSelectionOwnerReplyFn = TXcbSelectionOwnerReply* (*)(xcb_connection_t*, TXcbCookie, void**);

// The X screen number of $DISPLAY (":0.1" is screen 1); 0 when it names none.
int X11ScreenNumber() {
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype colon = display.lastIndexOf(':');
    const qsizetype dot = display.indexOf('.', colon < 0 ? 0 : colon);
    if (colon < 0 || dot < 0)
        return 0;
    bool ok = false;
    const int screen = display.mid(dot + 1).toInt(&ok);
    return ok && screen >= 0 ? screen : 0;
}

bool X11CompositorRunning() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return false;
    void* lib = ::dlopen("libxcb.so.1", RTLD_LAZY | RTLD_NOLOAD);
    if (!lib)
        return false;
    const auto internAtom = reinterpret_cast<TXcbInternAtom>(::dlsym(lib, "xcb_intern_atom"));
    const auto internAtomReply =
        reinterpret_cast<TXcbInternAtomReplyFn>(::dlsym(lib, "xcb_intern_atom_reply"));
    const auto getOwner = reinterpret_cast<TXcbGetSelectionOwner>(::dlsym(lib, "xcb_get_selection_owner"));
    const auto getOwnerReply =
        reinterpret_cast<TXcbGetSelectionOwnerReplyFn>(::dlsym(lib, "xcb_get_selection_owner_reply"));
    bool running = false;
    if (internAtom && internAtomReply && getOwner && getOwnerReply) {
        const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(X11ScreenNumber());
        TXcbInternAtomReply* atom = internAtomReply(
            connection, internAtom(connection, 0, static_cast<std::uint16_t>(name.size()), name.constData()),
            nullptr);
        if (atom) {
            TXcbSelectionOwnerReply* owner =
                getOwnerReply(connection, getOwner(connection, atom->Atom), nullptr);
            running = owner && owner->Owner != 0;
            std::free(owner);
            std::free(atom);
        }
    }
    ::dlclose(lib);
    return running;
}
#endif

} // namespace

QImage BlendSplash(const QImage& screen, const QImage& picture, const QImage& mask) {
    if (picture.isNull())
        return {};
    QImage result = AsRgb888(picture);
    const QImage under = AsRgb888(screen);
    const QImage alpha = AsRgb888(mask);
    const int width = result.width();
    for (int y = 0; y < result.height(); ++y) {
        uchar* line = result.scanLine(y);
        const uchar* screenLine = y < under.height() ? under.constScanLine(y) : nullptr;
        const uchar* maskLine = y < alpha.height() ? alpha.constScanLine(y) : nullptr;
        const int screenBytes = screenLine ? std::min(width, under.width()) * 3 : 0;
        const int maskBytes = maskLine ? std::min(width, alpha.width()) * 3 : 0;
        for (int i = 0; i < width * 3; ++i) {
            const int s = i < screenBytes ? screenLine[i] : 0;
            const int m = i < maskBytes ? maskLine[i] : 255;
            line[i] = static_cast<uchar>((s * (256 - m) + line[i] * m) >> 8);
        }
    }
    return result;
}

QImage SplashAlphaImage(const QImage& picture, const QImage& mask) {
    if (picture.isNull())
        return {};
    const QImage colour = AsRgb888(picture);
    const QImage alpha = AsRgb888(mask);
    QImage result(colour.size(), QImage::Format_ARGB32);
    for (int y = 0; y < colour.height(); ++y) {
        const uchar* in = colour.constScanLine(y);
        const uchar* maskLine = y < alpha.height() ? alpha.constScanLine(y) : nullptr;
        auto* out = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < colour.width(); ++x) {
            int a = 255;
            if (maskLine && x < alpha.width())
                a = qGray(maskLine[3 * x], maskLine[3 * x + 1], maskLine[3 * x + 2]);
            out[x] = qRgba(in[3 * x], in[3 * x + 1], in[3 * x + 2], a);
        }
    }
    return result;
}

bool TSplashForm::CompositorAvailable() {
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith("wayland"))
        return true;
#if QT_CONFIG(xcb)
    if (platform == "xcb")
        return X11CompositorRunning();
#endif
    return false;
}

TSplashForm::TSplashForm(const std::string& appPath, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("SplashForm");
    // A picture that is there but does not decode is reported, not fatal: the program starts
    // without its splash.
    const auto load = [&](const char* name, QImage& image) {
        const std::string path = FindFileNoCase(appPath, name);
        if (LoadSkinBitmap(path, image) || !QFileInfo::exists(QString::fromStdString(path)))
            return;
        image = QImage();
        if (FErrorText.isEmpty())
            FErrorText = QString("Cannot decode the picture \"%1\".").arg(QString::fromStdString(path));
    };
    load(SplashPictureName, FPicture);
    load(SplashMaskName, FMask);

    FTranslucent = CompositorAvailable();
    if (FTranslucent) {
        setAttribute(Qt::WA_TranslucentBackground);
        FShown = SplashAlphaImage(FPicture, FMask);
    } else {
        // Every pixel is painted from the picture, so nothing needs erasing first.
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
    }

    const QSize size = FPicture.size();
    setFixedSize(size);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect free = screen->geometry();
        move(free.x() + (free.width() - size.width()) / 2, free.y() + (free.height() - size.height()) / 2);
    }

    FCounter = new QLabel(this);
    FCounter->setObjectName("counter");
    QFont font("DejaVu Sans");
    font.setPixelSize(11);
    FCounter->setFont(font);
    FCounter->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QPalette palette = FCounter->palette();
    palette.setColor(QPalette::WindowText, QColor(150, 162, 180));
    FCounter->setPalette(palette);
    const int labelWidth = std::min(120, size.width());
    FCounter->setGeometry(std::max(0, size.width() - labelWidth - 18), std::max(0, size.height() - 34),
                          labelWidth, 18);
}

void TSplashForm::ShowProgress(const QString& text) {
    FCounter->setText(text);
    if (!isVisible())
        return;
    FCounter->repaint();
    // The program is busy creating its windows between two steps: let the window system map and
    // draw the splash now (clicks and keys wait for the main window).
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TSplashForm::setVisible(bool visible) {
    QWidget::setVisible(visible && !FPicture.isNull());
}

QImage TSplashForm::ScreenUnder() const {
    QScreen* screen = this->screen();
    if (!screen)
        return {};
    const QRect area = screen->geometry();
    QImage under = screen->grabWindow(0, x() - area.x(), y() - area.y(), width(), height()).toImage();
    // On a scaled screen the copy comes in device pixels.
    if (!under.isNull() && under.size() != size())
        under = under.scaled(size());
    return under;
}

void TSplashForm::showEvent(QShowEvent* event) {
    // Copy what lies under the window before it appears.
    if (!FTranslucent)
        FShown = BlendSplash(ScreenUnder(), FPicture, FMask);
    QWidget::showEvent(event);
}

void TSplashForm::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setClipRegion(event->region());
    painter.drawImage(0, 0, FShown.isNull() ? FPicture : FShown);
}

} // namespace ks
