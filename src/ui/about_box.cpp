// The About box.
#include "ui/about_box.h"

#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QWindow>

#include "text/catalog.h"
#include "text/product.h"
#include "ui/images.h"
#include "ui/links.h"
#include "ui/qt_text.h"
#include "update/update_check.h"

namespace tarnwick {

namespace {

QLabel* PlacedLabel(QWidget* parent, const QString& text, int x, int y, int w, int h,
                    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(x, y, w, h);
    label->setAlignment(alignment);
    return label;
}

// A label showing `text` as a blue link; a click hands `target` to the opener.
QLabel* LinkLabel(QWidget* parent, const std::string& text, const std::string& target,
                  DesktopOpener& opener, int x, int y) {
    const QString html = QStringLiteral("<a href=\"%1\" style=\"color:#0000ff;\">%2</a>")
                             .arg(Q(target).toHtmlEscaped(), Q(text).toHtmlEscaped());
    QLabel* label = PlacedLabel(parent, html, x, y, 215, 20);
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    label->setOpenExternalLinks(false);
    label->setCursor(Qt::PointingHandCursor);
    QObject::connect(label, &QLabel::linkActivated,
                     [&opener, target](const QString&) { opener.Open(target); });
    return label;
}

}  // namespace

AboutBox::AboutBox(DesktopOpener& opener) {
    setObjectName(QStringLiteral("aboutBox"));
    setWindowTitle(Q(CatalogText("About", "Title")));
    setFixedSize(360, 240);

    auto* frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Box | QFrame::Plain);
    frame->setGeometry(0, 40, 360, 150);

    banner_ = PlacedLabel(this, QString(), 0, 0, 360, 40);
    banner_->setPixmap(GlobalIcons().banner);
    const Qt::Alignment centred = Qt::AlignHCenter | Qt::AlignVCenter;
    product_ = PlacedLabel(this, Q(WindowTitle()), 20, 50, 320, 20, centred);
    notice_ = PlacedLabel(this, Q(kNoticeLine), 20, 70, 320, 20, centred);
    PlacedLabel(this, Q(CatalogText("About", "Website")), 80, 100, 60, 20);
    PlacedLabel(this, Q(CatalogText("About", "Email")), 80, 120, 50, 20);

    const std::string site = update::SiteAddress();
    web_ = LinkLabel(this, site, site, opener, 140, 100);
    mail_ = LinkLabel(this, kSupportEmail, SupportMailAddress(), opener, 140, 120);

    ok_ = new QPushButton(Q(CatalogText("Dialog", "OK")), this);
    ok_->setGeometry(140, 200, 80, 25);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
}

void ShowOwnedDialog(QDialog* dialog, QWidget* owner) {
    dialog->setWindowModality(Qt::ApplicationModal);
    if (owner) {
        dialog->winId();
        if (owner->windowHandle() && dialog->windowHandle())
            dialog->windowHandle()->setTransientParent(owner->windowHandle());
        const QRect frame = owner->frameGeometry();
        dialog->move(frame.center() - QPoint(dialog->width() / 2, dialog->height() / 2));
    }
    QPointer<QWidget> guardedOwner(owner);
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, guardedOwner](int) {
        if (guardedOwner) {
            guardedOwner->setEnabled(true);
            guardedOwner->activateWindow();
        }
        dialog->deleteLater();
    });
    dialog->show();
    if (owner) owner->setEnabled(false);
    dialog->activateWindow();
}

}  // namespace tarnwick
