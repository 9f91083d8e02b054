// The splash and About box.
#include "app/shell/about_box.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include "app/common/art.h"
#include "app/common/commands.h"
#include "strings/dialogs_strings.h"

namespace tunemill {

AboutBox::AboutBox(Mode mode, QWidget* parent) : QDialog(parent), mode_(mode) {
    setObjectName(mode == Mode::SPLASH ? QStringLiteral("SplashBox") : QStringLiteral("AboutBox"));
    auto* layout = new QVBoxLayout(this);
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("picture"));
    const qreal ratio = parent ? parent->devicePixelRatioF() : 1.0;
    picture->setPixmap(splash_picture(ratio));
    layout->addWidget(picture);
    auto* ok = new QPushButton(dialog_text(D_OK), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    if (mode == Mode::SPLASH) {
        setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        setAttribute(Qt::WA_DeleteOnClose);
        layout->setContentsMargins(0, 0, 0, 0);
        ok->hide();
        QTimer::singleShot(SPLASH_MILLISECONDS, this, &QDialog::reject);
    } else {
        setWindowTitle(dialog_text(D_ABOUT_TITLE));
        setWindowFlag(Qt::WindowContextHelpButtonHint, false);
        auto* version = new QLabel(this);
        version->setObjectName(QStringLiteral("version"));
        version->setAlignment(Qt::AlignCenter);
        version->setText(QStringLiteral("<b>%1</b><br>%2<br>%3")
                             .arg(dialog_text(D_TAGLINE),
                                  dialog_text(D_VERSION).replace(QStringLiteral("%s"),
                                                                 QStringLiteral(TUNEMILL_VERSION)),
                                  dialog_text(D_COPYRIGHT).toHtmlEscaped()));
        layout->addWidget(version);
        layout->addWidget(ok, 0, Qt::AlignHCenter);
        layout->setSizeConstraint(QLayout::SetFixedSize);
    }
}

void AboutBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Centred over the owner (the whole screen when there is none).
    adjustSize();
    QRect over;
    if (parentWidget())
        over = parentWidget()->window()->frameGeometry();
    else if (QScreen* screen = this->screen())
        over = screen->availableGeometry();
    if (!over.isEmpty()) move(over.center() - QPoint(width() / 2, height() / 2));
}

} // namespace tunemill
