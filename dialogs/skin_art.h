#pragma once
// The window skins, painted in code: button faces in their four states, the two-state title
// buttons, the warning sign, the background and the fonts for Japanese and Chinese text.
#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QString>
#include <vector>

namespace flintcast::dialogs {

enum class Face { Blue, Green, Orange, Red, Grey };

// Normal, pressed, hover and disabled faces of a button with `text`.
std::vector<QPixmap> ButtonFaces(const QString& text, QSize size, Face face, const QFont& font);

enum class TitleGlyph { Close, Minimize };
// Normal and pressed pictures of a title bar button.
std::vector<QPixmap> TitleButtonFaces(TitleGlyph glyph, int size);

QPixmap WarningSign(int size);
QPixmap ResultPicture(bool passed, int size);
// The window background: a coloured header band of `bandHeight` over a light body.
QPixmap Background(QSize size, int bandHeight, QColor band);

// The font for Japanese and Chinese texts, from the CJK fonts the install script provides.
QFont CjkFont(int pointSize, bool bold = false);
// The font of the English texts.
QFont UiFont(int pointSize, bool bold = false);

}  // namespace flintcast::dialogs
