#pragma once
// What both windows share: placement on the screen, the font, the button glyphs.
#include <QFont>
#include <QIcon>
#include <QPoint>
#include <QSize>
#include <QString>

class QWidget;

namespace zembrix {

// The application title: the product name and the start of the main caption.
inline const QString kApplicationTitle = QStringLiteral("Zembrix");

// Top-left corner that centres a window of outer size `window` on a screen of
// size `screen`; halves are dropped toward zero, so a window larger than the
// screen by 3 pixels lands at -1.
constexpr QPoint CentredPosition(QSize screen, QSize window) {
    return {(screen.width() - window.width()) / 2, (screen.height() - window.height()) / 2};
}

// Centres a top-level window on the primary screen by its outer (frame) size.
void CentreOnPrimaryScreen(QWidget& window);

// Centring at showing time. On X11 the window manager adds its frame only after
// the window is mapped, so the outer size is first known then; once it differs
// from the size used, the window is centred again by the true one.
class ShowCentring {
public:
    void centre(QWidget& window);
    // Call from the window's move and resize events.
    void frameMayHaveChanged(QWidget& window);

private:
    QSize outerUsed_;
    bool pending_ = false;
};

// "宋体" at the given pixel height, falling back to a Song/Ming-style CJK font.
QFont SongFont(int pixels);

// A strip of `count` square images (normal, then disabled) from a bitmap whose
// lower-left pixel gives the transparent colour.
QIcon GlyphIcon(const QString& resource, int count = 2);

// The program icon (32 x 32 cog).
QIcon MainIcon();

}  // namespace zembrix

namespace zembrix {

// The sample pictures are JPEGs decoded while the main window is built; without
// the decoder they would stay blank. Says so on stderr when it is missing.
bool RequireJpegSupport();

}  // namespace zembrix
