#include "platform/screen.h"

#include <QFontInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>

int primaryScreenWidth() {
    if (!qGuiApp)
        return 0;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().width() : 0;
}

int minimumListFontPixels(int screenWidth) {
    return screenWidth >= 1920 ? 16 : 13;
}

void applyListFont(QWidget* widget) {
    QFont font = widget->font();
    const int minimum = minimumListFontPixels(primaryScreenWidth());
    if (QFontInfo(font).pixelSize() >= minimum)
        return;
    font.setPixelSize(minimum);
    widget->setFont(font);
    // A view's header does not take the view's font on its own; set it so every list header
    // matches.
    for (QHeaderView* header : widget->findChildren<QHeaderView*>())
        header->setFont(font);
}
