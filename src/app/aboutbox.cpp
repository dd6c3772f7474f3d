#include "app/aboutbox.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

static void registerAppResources() {
    Q_INIT_RESOURCE(tallykeep);
}

void initAppResources() {
    static const bool done = (registerAppResources(), true);
    Q_UNUSED(done);
}

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    initAppResources();
    setWindowTitle(QStringLiteral("About Tallykeep"));
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("picture"));
    picture->setPixmap(QPixmap(QStringLiteral(":/tallykeep.png"))
                           .scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    auto* version = new QLabel(versionText(), this);
    version->setObjectName(QStringLiteral("version"));
    // OK and Cancel (Escape) both close the box.
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* row = new QHBoxLayout;
    row->addWidget(picture);
    row->addSpacing(12);
    row->addWidget(version, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    setFixedSize(sizeHint());
}
