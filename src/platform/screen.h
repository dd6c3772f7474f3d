#pragma once
// Screen metrics used for font sizes (the primary screen's width in pixels).

int primaryScreenWidth();
// The minimum pixel height of list and tree fonts: 16 on wide screens, else 13.
int minimumListFontPixels(int screenWidth);
