#pragma once
// Screen metrics used for font sizes (the primary screen's width in pixels).

int primaryScreenWidth();
// The minimum pixel height of list and tree fonts: 16 on wide screens, else 13.
int minimumListFontPixels(int screenWidth);

class QWidget;
// Raises a list or tree view's font (and its headers') to the minimum height; a larger
// font stays as it is.
void applyListFont(QWidget* widget);
