#include "platform/screen.h"

#include <QGuiApplication>
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
