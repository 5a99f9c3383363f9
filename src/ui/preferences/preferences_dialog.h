// The preferences dialog: nine pages chosen from a category tree, filled from
// the settings record when it opens. OK writes every control back, saves the
// configuration and lets the main window apply the changes; Defaults resets
// the record after asking; Cancel, Escape and the close box change nothing
// (except colours and fonts added with the "..." buttons, which are kept at once).
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "ui/preferences/controls.h"
#include "ui/preferences/preferences_logic.h"

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QTreeWidget;

namespace tarnwick {

class PreferencesPickers;
class UserDialogs;

class PreferencesDialog : public QDialog {
public:
    static constexpr int kPageCount = 9;
    enum Page {
        kGeneral,
        kInterface,
        kInput,
        kOutput,
        kTransform,
        kAdjustment,
        kFrame,
        kWatermark,
        kAdvanced
    };

    struct Host {
        UserDialogs* dialogs = nullptr;
        PreferencesPickers* pickers = nullptr;
        // Takes the confirmed settings: stores them, writes the configuration
        // and applies what changed on screen (`reload`, and the position
        // selected in the dialog's output format list).
        std::function<void(const Settings& confirmed, IconReload reload, int formatPosition)> apply;
        // Keeps an entry a picker added to a colour or font list at once,
        // whether the dialog is confirmed or not.
        std::function<void(std::string Settings::*list, const std::string& value)> keepList;
    };

    // Builds every page from `draft`, a copy of the settings the dialog works
    // on, hidden. Call Open() to show it.
    PreferencesDialog(QWidget* owner, Host host, Settings draft);
    ~PreferencesDialog() override;

    // Shows page `startPage`, centred on the owner, modal to it, with the
    // keyboard focus on the category tree.
    void Open(int startPage = 0);
    // The three buttons.
    void Confirm();
    void ResetToDefaults();

    void ShowPage(int index);
    int CurrentPage() const;
    QString HeaderText() const;
    QTreeWidget* Tree() const { return tree_; }
    QWidget* PageWidget(int index) const { return pages_[static_cast<size_t>(index)]; }
    QPushButton* DefaultsButton() const { return defaultsButton_; }
    QPushButton* OkButton() const { return okButton_; }
    QPushButton* CancelButton() const { return cancelButton_; }

private:
    void BuildFrame();
    void BuildButtons();
    QWidget* NewPage();
    QScrollArea* NewScrollArea(QWidget* parent, int x, int y, int w, int h, int innerW, int innerH);
    void BuildGeneralPage();
    void BuildInterfacePage();
    void BuildInputPage();
    void BuildOutputPage();
    void BuildTransformPage();
    void BuildAdjustmentPage();
    void BuildFramePage();
    void BuildWatermarkPage();
    void BuildAdvancedPage();

    // Controls of the processing pages that are more than a row kind.
    Row ColorRow(RowBuilder& rows, const std::string& labelKey, std::string Settings::*field,
                 const std::string& name);
    Row ColorList(RowBuilder& rows, const std::string& labelKey, std::string Settings::*colorField,
                  std::string Settings::*listField, const std::string& name);
    Row FontList(RowBuilder& rows);
    Row ImageChooserRow(RowBuilder& rows);
    QPushButton* DotsButton(QWidget* area, int y, const std::string& name);

    int SelectedOutputPosition() const;

    Host host_;
    Settings draft_;
    Bindings bindings_;
    QTreeWidget* tree_ = nullptr;
    QLabel* header_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    std::vector<QWidget*> pages_;
    QPushButton* defaultsButton_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QComboBox* themeList_ = nullptr;
    QComboBox* sizeList_ = nullptr;
    QComboBox* outputFormatList_ = nullptr;
    QLineEdit* fontSizeField_ = nullptr;
    QComboBox* fontStyleList_ = nullptr;
    QComboBox* fontEffectList_ = nullptr;
};

}  // namespace tarnwick
