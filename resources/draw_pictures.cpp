// Draws the pictures of the two windows into a folder (default: the current one).
// The results are committed; run it again only to change how they look:
//   zembrix_draw_pictures resources/
#include <QApplication>
#include <QDir>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <QtMath>

#include <array>
#include <cmath>
#include <functional>
#include <cstdio>

namespace {

QFont songFont(int pixels, bool bold = false) {
    QFont font;
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN"),
                      QStringLiteral("AR PL UMing")});
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

bool save(const QImage& image, const QDir& dir, const QString& name, const char* format, int quality = -1) {
    const QString path = dir.filePath(name);
    if (!image.save(path, format, quality)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// Side banner: 24-bit, 101 x 420, a blue gradient with the tool's aim written downwards.
QImage banner() {
    QImage image(101, 420, QImage::Format_RGB888);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, 420);
    sky.setColorAt(0.0, QColor(24, 60, 130));
    sky.setColorAt(1.0, QColor(120, 170, 225));
    p.fillRect(image.rect(), sky);
    p.setPen(QColor(255, 255, 255, 60));
    for (int y = 20; y < 420; y += 28) p.drawLine(0, y + 14, 101, y - 14);
    p.setPen(Qt::white);
    p.setFont(songFont(26, true));
    const QString text = QStringLiteral("考号编排");
    for (int i = 0; i < text.size(); ++i)
        p.drawText(QRect(0, 60 + i * 52, 101, 48), Qt::AlignCenter, text.mid(i, 1));
    p.setFont(songFont(12));
    p.drawText(QRect(0, 380, 101, 20), Qt::AlignCenter, QStringLiteral("Zembrix"));
    return image;
}

// A spreadsheet grid of columns A..I and rows 1..6, before or after the arrangement.
QImage sample(bool arranged) {
    QImage image(481, 145, QImage::Format_RGB888);
    image.fill(Qt::white);
    QPainter p(&image);
    constexpr int headerHeight = 17;
    constexpr int rowHeight = 21;
    constexpr int rowHeaderWidth = 22;
    const std::array<int, 9> widths{58, 50, 40, 56, 46, 46, 54, 54, 55};
    std::array<int, 10> x{};
    x[0] = rowHeaderWidth;
    for (std::size_t c = 0; c < widths.size(); ++c) x[c + 1] = x[c] + widths[c];
    const QColor headerFill(228, 228, 228);
    const QColor gridLine(190, 190, 190);

    p.fillRect(0, 0, 481, headerHeight, headerFill);
    p.fillRect(0, 0, rowHeaderWidth, 145, headerFill);
    p.setFont(songFont(12));
    p.setPen(Qt::black);
    for (int c = 0; c < 9; ++c)
        p.drawText(QRect(x[static_cast<std::size_t>(c)], 0, widths[static_cast<std::size_t>(c)], headerHeight),
                   Qt::AlignCenter, QString(QChar('A' + c)));
    for (int r = 0; r < 6; ++r)
        p.drawText(QRect(0, headerHeight + r * rowHeight, rowHeaderWidth, rowHeight), Qt::AlignCenter,
                   QString::number(r + 1));

    p.setPen(gridLine);
    for (int r = 0; r <= 6; ++r) p.drawLine(0, headerHeight + r * rowHeight, 480, headerHeight + r * rowHeight);
    p.drawLine(0, headerHeight - 1, 480, headerHeight - 1);
    for (std::size_t c = 0; c < x.size(); ++c) {
        // Row 1 is one merged cell across A..I: no inner lines there.
        const int top = (c == 0 || c + 1 == x.size()) ? 0 : headerHeight + rowHeight;
        p.drawLine(x[c], top, x[c], 144);
        if (top > 0) p.drawLine(x[c], 0, x[c], headerHeight);
    }
    p.drawRect(0, 0, 480, 144);

    auto cell = [&](int row, int column) {
        const auto c = static_cast<std::size_t>(column);
        return QRect(x[c] + 3, headerHeight + (row - 1) * rowHeight, widths[c] - 6, rowHeight);
    };
    p.setPen(Qt::black);
    p.setFont(songFont(14, true));
    p.drawText(QRect(x[0], headerHeight, x[9] - x[0], rowHeight), Qt::AlignCenter,
               QStringLiteral("XX片区学科考试考号安排表"));
    p.setFont(songFont(12));
    const std::array<const char*, 6> headings{"学校代码", "姓名", "性别", "考号", "考室", "座号"};
    for (int c = 0; c < 6; ++c)
        p.drawText(cell(2, c), Qt::AlignCenter, QString::fromUtf8(headings[static_cast<std::size_t>(c)]));
    for (int c = 6; c < 9; ++c) p.drawText(cell(2, c), Qt::AlignCenter, QStringLiteral("……"));

    const std::array<const char*, 4> names{"aa", "ee", "ii", "mm"};
    const std::array<const char*, 4> numbers{"0101", "0105", "0109", "0113"};
    const std::array<const char*, 4> seats{"01", "05", "09", "13"};
    for (int i = 0; i < 4; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const int row = 3 + i;
        p.setPen(Qt::black);
        p.drawText(cell(row, 0), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("1101"));
        p.drawText(cell(row, 1), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8(names[k]));
        p.drawText(cell(row, 2), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("男"));
        if (!arranged) continue;
        const std::array<const char*, 3> texts{numbers[k], "01", seats[k]};
        for (int c = 3; c < 6; ++c) {
            const QRect r = cell(row, c);
            p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8(texts[static_cast<std::size_t>(c - 3)]));
            // The green corner that marks a number stored as text.
            const int left = x[static_cast<std::size_t>(c)] + 1;
            const int top = r.top() + 1;
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0, 128, 0));
            p.drawPolygon(QPolygon({QPoint(left, top), QPoint(left + 5, top), QPoint(left, top + 5)}));
            p.setBrush(Qt::NoBrush);
            p.setPen(Qt::black);
        }
    }
    return image;
}

// Glyph strips: `count` square images side by side, the second one greyed; the
// lower-left pixel keeps the olive that marks transparency.
const QColor kOlive(128, 128, 0);

QImage glyphStrip(int size, const std::function<void(QPainter&, bool)>& draw) {
    QImage image(size * 2, size, QImage::Format_RGB888);
    image.fill(kOlive);
    for (int i = 0; i < 2; ++i) {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.translate(i * size, 0);
        p.setClipRect(0, 0, size, size);
        draw(p, i == 1);
    }
    return image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
}

QImage questionGlyph() {
    return glyphStrip(16, [](QPainter& p, bool grey) {
        p.setPen(grey ? QColor(128, 128, 128) : QColor(128, 128, 0).darker());
        p.setBrush(grey ? QColor(192, 192, 192) : QColor(255, 255, 0));
        p.drawEllipse(1, 0, 13, 13);
        p.setPen(grey ? QColor(128, 128, 128) : QColor(255, 0, 0));
        QFont font = songFont(12, true);
        p.setFont(font);
        p.drawText(QRect(1, 0, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
    });
}

QImage checkGlyph() {
    return glyphStrip(18, [](QPainter& p, bool grey) {
        QPen pen(grey ? QColor(128, 128, 128) : QColor(0, 128, 0), 3);
        p.setPen(pen);
        p.drawPolyline(QPolygon({QPoint(3, 9), QPoint(7, 13), QPoint(15, 4)}));
    });
}

QImage closeGlyph() {
    return glyphStrip(18, [](QPainter& p, bool grey) {
        // Exit light over an open door.
        p.setPen(Qt::NoPen);
        p.setBrush(grey ? QColor(160, 160, 160) : QColor(0, 192, 0));
        p.drawRect(5, 0, 8, 3);
        p.setBrush(grey ? QColor(192, 192, 192) : QColor(128, 64, 0));
        p.drawRect(4, 4, 10, 13);
        p.setBrush(grey ? QColor(128, 128, 128) : QColor(0, 0, 0));
        p.drawRect(6, 6, 6, 11);
        p.setBrush(grey ? QColor(220, 220, 220) : QColor(192, 128, 64));
        p.drawPolygon(QPolygon({QPoint(6, 6), QPoint(10, 8), QPoint(10, 17), QPoint(6, 17)}));
    });
}

// The program icon: a grey cog on a transparent ground.
QImage cogIcon() {
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    QPainterPath cog;
    constexpr int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const double angle = (i * M_PI) / teeth;
        const double radius = (i % 2 == 0) ? 15.0 : 11.5;
        for (double d : {-0.17, 0.17}) {
            const QPointF point(16 + radius * std::cos(angle + d), 16 + radius * std::sin(angle + d));
            if (cog.elementCount() == 0) cog.moveTo(point); else cog.lineTo(point);
        }
    }
    cog.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(QPointF(16, 16), 4.5, 4.5);
    p.setPen(QPen(QColor(64, 64, 64), 1));
    p.setBrush(QColor(160, 160, 160));
    p.drawPath(cog.subtracted(hole));
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath());
    bool ok = save(banner(), dir, QStringLiteral("side.bmp"), "BMP");
    ok = save(sample(false), dir, QStringLiteral("sample_input.jpg"), "JPEG", 92) && ok;
    ok = save(sample(true), dir, QStringLiteral("sample_output.jpg"), "JPEG", 92) && ok;
    ok = save(questionGlyph(), dir, QStringLiteral("glyph_about.bmp"), "BMP") && ok;
    ok = save(checkGlyph(), dir, QStringLiteral("glyph_ok.bmp"), "BMP") && ok;
    ok = save(closeGlyph(), dir, QStringLiteral("glyph_close.bmp"), "BMP") && ok;
    ok = save(cogIcon(), dir, QStringLiteral("mainicon.png"), "PNG") && ok;
    return ok ? 0 : 1;
}
