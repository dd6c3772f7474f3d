#pragma once
// The action glyphs of the envelope tree and the account list (pencil, receipt, dollar,
// new envelope, transfer arrows). They are drawn in one colour, the link colour, like links:
// monochrome glyphs from a symbol font a little larger than the list's text, so they are easy
// to hit, and a drawn receipt, which no monochrome font installed with the program has.

#include <QString>

class QColor;
class QFont;
class QPainter;
class QRect;

namespace ActionGlyphs {
inline const QString Pencil = QStringLiteral(u"\u270E");
inline const QString Receipt = QStringLiteral(u"\U0001F9FE");
inline const QString Dollar = QStringLiteral(u"\U0001F4B2");
inline const QString NewEnvelope = QStringLiteral(u"\U0001F7BC");
inline const QString Transfer = QStringLiteral(u"\u21C6");

// The font the glyphs are drawn in, for a list drawn in listFont.
QFont font(const QFont& listFont);
// The width of a glyph's click zone.
int width(const QFont& listFont, const QString& glyph);
// Draws the glyph centred in rect.
void draw(QPainter* p, const QRect& rect, const QString& glyph, const QColor& colour,
          const QFont& listFont);
} // namespace ActionGlyphs
