#include "app/look.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

namespace zembrix {

void CentreOnPrimaryScreen(QWidget& window) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    // Before the window manager has framed the window its frame equals its client area.
    const QSize outer = window.frameGeometry().size();
    const QPoint at = CentredPosition(screen->geometry().size(), outer) + screen->geometry().topLeft();
    window.move(at);
}

void ShowCentring::centre(QWidget& window) {
    CentreOnPrimaryScreen(window);
    outerUsed_ = window.frameGeometry().size();
    pending_ = true;
}

void ShowCentring::frameMayHaveChanged(QWidget& window) {
    if (!pending_ || !window.isVisible() || window.frameGeometry().size() == outerUsed_) return;
    pending_ = false;
    CentreOnPrimaryScreen(window);
}

QFont SongFont(int pixels) {
    QFont font;
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN"),
                      QStringLiteral("AR PL UMing TW"), QStringLiteral("AR PL UMing")});
    font.setPixelSize(pixels);
    return font;
}

QIcon GlyphIcon(const QString& resource, int count) {
    const QImage strip(resource);
    QIcon icon;
    if (strip.isNull() || count < 1 || strip.height() < 1) return icon;
    const int size = strip.width() / count;
    const QRgb transparent = strip.pixel(0, strip.height() - 1);
    for (int i = 0; i < count && i < 2; ++i) {
        QPixmap pixmap = QPixmap::fromImage(strip.copy(i * size, 0, size, strip.height()));
        pixmap.setMask(pixmap.createMaskFromColor(QColor(transparent), Qt::MaskInColor));
        icon.addPixmap(pixmap, i == 0 ? QIcon::Normal : QIcon::Disabled);
    }
    return icon;
}

QIcon MainIcon() {
    return QIcon(QStringLiteral(":/pictures/mainicon.png"));
}

}  // namespace zembrix

#include <QImageReader>

#include <cstdio>

namespace zembrix {

bool RequireJpegSupport() {
    const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    const bool ok = formats.contains("jpeg") && formats.contains("jpg");
    if (!ok) std::fputs("zembrix: Qt has no JPEG decoder; the sample pictures stay blank.\n", stderr);
    return ok;
}

}  // namespace zembrix
