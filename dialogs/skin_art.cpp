#include "dialogs/skin_art.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace flintcast::dialogs {

namespace {

struct Palette {
    QColor top;
    QColor bottom;
};

Palette PaletteOf(Face face) {
    switch (face) {
        case Face::Blue: return {QColor(74, 144, 226), QColor(31, 94, 176)};
        case Face::Green: return {QColor(92, 184, 92), QColor(46, 125, 50)};
        case Face::Orange: return {QColor(245, 166, 35), QColor(214, 108, 10)};
        case Face::Red: return {QColor(224, 82, 82), QColor(176, 36, 36)};
        case Face::Grey: break;
    }
    return {QColor(150, 156, 164), QColor(110, 116, 124)};
}

QPixmap Blank(QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QPixmap PaintFace(const QString& text, QSize size, Palette palette, QColor textColour, int textOffset,
                  QColor border, const QFont& font) {
    QPixmap pixmap = Blank(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body = QRectF(0.5, 0.5, size.width() - 1.0, size.height() - 1.0);
    QLinearGradient fill(0, 0, 0, size.height());
    fill.setColorAt(0, palette.top);
    fill.setColorAt(1, palette.bottom);
    QPainterPath path;
    path.addRoundedRect(body, 6, 6);
    p.fillPath(path, fill);
    p.setPen(QPen(border, 1));
    p.drawPath(path);
    p.setFont(font);
    p.setPen(textColour);
    p.drawText(QRect(textOffset, textOffset, size.width(), size.height()), Qt::AlignCenter, text);
    return pixmap;
}

}  // namespace

std::vector<QPixmap> ButtonFaces(const QString& text, QSize size, Face face, const QFont& font) {
    const Palette base = PaletteOf(face);
    const Palette pressed{base.bottom, base.top.darker(115)};
    const Palette hover{base.top.lighter(118), base.bottom.lighter(118)};
    const Palette disabled{QColor(224, 226, 229), QColor(200, 203, 207)};
    return {
        PaintFace(text, size, base, Qt::white, 0, base.bottom.darker(120), font),
        PaintFace(text, size, pressed, Qt::white, 1, base.bottom.darker(140), font),
        PaintFace(text, size, hover, Qt::white, 0, QColor(255, 214, 102), font),
        PaintFace(text, size, disabled, QColor(150, 153, 158), 0, QColor(180, 183, 188), font),
    };
}

std::vector<QPixmap> TitleButtonFaces(TitleGlyph glyph, int size) {
    std::vector<QPixmap> faces;
    for (bool pressed : {false, true}) {
        QPixmap pixmap = Blank(QSize(size, size));
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        if (pressed) {
            p.setBrush(glyph == TitleGlyph::Close ? QColor(200, 40, 40) : QColor(255, 255, 255, 70));
            p.setPen(Qt::NoPen);
            p.drawRoundedRect(QRectF(1, 1, size - 2, size - 2), 3, 3);
        }
        p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
        const double m = size * 0.3;
        if (glyph == TitleGlyph::Close) {
            p.drawLine(QPointF(m, m), QPointF(size - m, size - m));
            p.drawLine(QPointF(size - m, m), QPointF(m, size - m));
        } else {
            p.drawLine(QPointF(m, size - m), QPointF(size - m, size - m));
        }
        faces.push_back(pixmap);
    }
    return faces;
}

QPixmap WarningSign(int size) {
    QPixmap pixmap = Blank(QSize(size, size));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath triangle;
    triangle.moveTo(size / 2.0, 1);
    triangle.lineTo(size - 1, size - 1);
    triangle.lineTo(1, size - 1);
    triangle.closeSubpath();
    p.fillPath(triangle, QColor(245, 180, 0));
    p.setPen(QPen(QColor(150, 100, 0), 1));
    p.drawPath(triangle);
    QFont font = UiFont(size / 2, true);
    font.setPixelSize(size * 2 / 3);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QRect(0, size / 6, size, size * 5 / 6), Qt::AlignCenter, QStringLiteral("!"));
    return pixmap;
}

QPixmap ResultPicture(bool passed, int size) {
    QPixmap pixmap = Blank(QSize(size, size));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(passed ? QColor(46, 160, 67) : QColor(207, 34, 46));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRectF(1, 1, size - 2, size - 2));
    p.setPen(QPen(Qt::white, size / 9.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (passed) {
        QPainterPath tick;
        tick.moveTo(size * 0.28, size * 0.52);
        tick.lineTo(size * 0.44, size * 0.68);
        tick.lineTo(size * 0.73, size * 0.34);
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    } else {
        p.drawLine(QPointF(size * 0.33, size * 0.33), QPointF(size * 0.67, size * 0.67));
        p.drawLine(QPointF(size * 0.67, size * 0.33), QPointF(size * 0.33, size * 0.67));
    }
    return pixmap;
}

QPixmap Background(QSize size, int bandHeight, QColor band) {
    QPixmap pixmap(size);
    pixmap.fill(QColor(250, 251, 253));
    QPainter p(&pixmap);
    QLinearGradient header(0, 0, 0, bandHeight);
    header.setColorAt(0, band.lighter(112));
    header.setColorAt(1, band);
    p.fillRect(QRect(0, 0, size.width(), bandHeight), header);
    p.setPen(QColor(210, 214, 220));
    p.drawRect(QRect(0, 0, size.width() - 1, size.height() - 1));
    return pixmap;
}

QFont CjkFont(int pointSize, bool bold) {
    QFont font;
    font.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"), QStringLiteral("WenQuanYi Micro Hei"),
                      QStringLiteral("Noto Sans CJK JP")});
    font.setPointSize(pointSize);
    font.setBold(bold);
    return font;
}

QFont UiFont(int pointSize, bool bold) {
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("WenQuanYi Micro Hei")});
    font.setPointSize(pointSize);
    font.setBold(bold);
    return font;
}

}  // namespace flintcast::dialogs
