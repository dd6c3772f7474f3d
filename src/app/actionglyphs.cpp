#include "app/actionglyphs.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPixmapCache>

namespace ActionGlyphs {

QFont font(const QFont& listFont) {
    QFont glyphFont = listFont;
    // Symbola draws in the pen's colour; the colour emoji font would ignore it.
    static const bool haveSymbola = QFontDatabase::hasFamily(QStringLiteral("Symbola"));
    if (haveSymbola)
        glyphFont.setFamilies({QStringLiteral("Symbola")});
    glyphFont.setPixelSize(QFontInfo(listFont).pixelSize() * 5 / 4);
    return glyphFont;
}

namespace {
int receiptWidth(const QFontMetrics& fm) {
    return fm.height() * 2 / 3;
}
} // namespace

int width(const QFont& listFont, const QString& glyph) {
    const QFontMetrics fm(font(listFont));
    if (glyph == Receipt)
        return receiptWidth(fm) + 4;
    return fm.horizontalAdvance(glyph);
}

namespace {
void paintGlyph(QPainter* p, const QRect& rect, const QString& glyph, const QColor& colour,
                const QFont& listFont) {
    p->save();
    const QFont glyphFont = font(listFont);
    p->setRenderHint(QPainter::Antialiasing);
    if (glyph != Receipt) {
        // The outline, filled and traced with a thin pen: hairline glyphs such as the pencil
        // would otherwise come out pale.
        QPainterPath outline;
        outline.addText(0, 0, glyphFont, glyph);
        const QFontMetrics fm(glyphFont);
        const qreal x = rect.left() + (rect.width() - fm.horizontalAdvance(glyph)) / 2.0;
        const qreal y = rect.top() + (rect.height() + fm.ascent() - fm.descent()) / 2.0;
        outline.translate(x, y);
        p->fillPath(outline, colour);
        p->strokePath(outline, QPen(colour, 0.9));
        p->restore();
        return;
    }
    // A till slip: a sheet with a torn (zigzag) lower edge and three lines of print.
    const QFontMetrics fm(glyphFont);
    const qreal w = receiptWidth(fm);
    const qreal h = qMin<qreal>(fm.ascent(), rect.height() - 2);
    const qreal left = rect.left() + (rect.width() - w) / 2.0;
    const qreal top = rect.top() + (rect.height() - h) / 2.0;
    const qreal teeth = 3;
    const qreal tooth = w / teeth;
    const qreal depth = qMax<qreal>(2, h / 8);
    QPainterPath sheet;
    sheet.moveTo(left, top);
    sheet.lineTo(left + w, top);
    sheet.lineTo(left + w, top + h);
    for (int i = 0; i < teeth; ++i) {
        const qreal right = left + w - i * tooth;
        sheet.lineTo(right - tooth / 2, top + h - depth);
        sheet.lineTo(right - tooth, top + h);
    }
    sheet.closeSubpath();
    const qreal pen = qMax<qreal>(1.2, h / 12);
    p->setPen(QPen(colour, pen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p->setBrush(Qt::NoBrush);
    p->drawPath(sheet.translated(0.5, 0.5));
    for (int line = 1; line <= 3; ++line) {
        const qreal y = top + line * (h - depth) / 4.0 + 0.5;
        const qreal end = line == 3 ? left + w * 0.55 : left + w - w * 0.22;
        p->drawLine(QPointF(left + w * 0.22 + 0.5, y), QPointF(end + 0.5, y));
    }
    p->restore();
}
} // namespace

void draw(QPainter* p, const QRect& rect, const QString& glyph, const QColor& colour,
          const QFont& listFont) {
    if (rect.isEmpty())
        return;
    // Text turned into outlines is costly, and every repaint of a list draws dozens of the
    // same few glyphs: each is drawn once per look and size, then copied.
    const qreal ratio = p->device() ? p->device()->devicePixelRatioF() : 1.0;
    const QString key = QStringLiteral("tallykeep-glyph/%1/%2/%3/%4x%5@%6")
                            .arg(glyph, colour.name(QColor::HexArgb), listFont.key())
                            .arg(rect.width())
                            .arg(rect.height())
                            .arg(ratio);
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap = QPixmap((QSizeF(rect.size()) * ratio).toSize());
        pixmap.setDevicePixelRatio(ratio);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paintGlyph(&painter, QRect(QPoint(0, 0), rect.size()), glyph, colour, listFont);
        painter.end();
        QPixmapCache::insert(key, pixmap);
    }
    p->drawPixmap(rect.topLeft(), pixmap);
}

} // namespace ActionGlyphs
