// The uninstall prompt: one check box and a Next button.
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

#include "platform/platform.h"
#include "text/catalog.h"
#include "text/product.h"
#include "ui/qt_text.h"
#include "ui/ui_entry.h"
#include "ui/window_mode.h"
#include "update/update_check.h"

extern "C" int tarnwick_uninstall_prompt(void) {
    using namespace tarnwick;
    std::unique_ptr<QApplication> app = OpenApplication("uninstall prompt");
    if (!app) return 1;
    LoadCatalog();

    QDialog window(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    window.setWindowTitle(Q(CatalogText("Uninstall", "Title")));
    window.setFixedSize(300, 100);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desktop = screen->geometry();
        window.move(desktop.center() - QPoint(150, 50));
    }
    auto* box = new QCheckBox(Q(CatalogText("Uninstall", "Uninstall Text")), &window);
    box->setGeometry(30, 20, 250, 20);
    box->setChecked(true);
    auto* next = new QPushButton(Q(CatalogText("Uninstall", "Next")), &window);
    next->setGeometry(200, 60, 80, 25);
    next->setDefault(true);
    QObject::connect(next, &QPushButton::clicked, [&] {
        if (box->isChecked())
            platform::OpenWithDesktop(update::SiteAddress() + "/tarnwick/uninstall.html");
        window.accept();
    });
    window.exec();
    return 0;
}
