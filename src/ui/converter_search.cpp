// The converter-search dialog.
#include "ui/converter_search.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "engine/run_state.h"
#include "text/catalog.h"
#include "ui/links.h"
#include "ui/qt_text.h"
#include "ui/user_dialogs.h"

namespace tarnwick {

ConverterSearch::ConverterSearch(UserDialogs& dialogs, DesktopOpener& opener)
    : dialogs_(dialogs), opener_(opener) {
    setObjectName(QStringLiteral("converterSearch"));
    setWindowTitle(Q(CatalogText("Custom-Converter", "Title")));
    setFixedSize(370, 60);

    auto* fromLabel = new QLabel(Q(CatalogText("Custom-Converter", "From")), this);
    fromLabel->setGeometry(10, 23, 40, 20);
    from_ = new QLineEdit(this);
    from_->setObjectName(QStringLiteral("fromField"));
    from_->setGeometry(50, 20, 80, 20);
    auto* toLabel = new QLabel(Q(CatalogText("Custom-Converter", "To")), this);
    toLabel->setGeometry(150, 23, 30, 20);
    to_ = new QLineEdit(this);
    to_->setObjectName(QStringLiteral("toField"));
    to_->setGeometry(180, 20, 80, 20);
    search_ = new QPushButton(Q(CatalogText("Custom-Converter", "Search")), this);
    search_->setGeometry(280, 18, 80, 25);
    search_->setDefault(true);
    connect(search_, &QPushButton::clicked, this, [this] { Search(); });

    from_->setFocus();
}

void ConverterSearch::Search() {
    RunState& run = GlobalRunState();
    if (!ReadConverterFields(from_->text().toStdString(), to_->text().toStdString(), run)) {
        dialogs_.Warning(CatalogText("Msg", "Empty extensions"));
        return;
    }
    hide();
    opener_.Open(ConverterSearchAddress(run.fromExtension, run.toExtension));
    accept();
}

}  // namespace tarnwick
