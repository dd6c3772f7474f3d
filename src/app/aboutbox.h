#pragma once
// "About Tallykeep": the application picture, the version text and OK.

#include "model/version.h"

#include <QDialog>

// Registers the application picture (the app library is static, so it is done explicitly).
void initAppResources();

class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);
    static QString versionText() { return QStringLiteral("Tallykeep " TALLYKEEP_VERSION); }
};
