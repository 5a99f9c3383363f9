// The interface images: the three icon tables and the About banner. Filled
// with the built-in images at start-up; a theme may replace them afterwards.
#pragma once

#include <QPixmap>
#include <map>
#include <string>
#include <vector>

namespace tarnwick {

struct IconTables {
    QPixmap banner;                          // 360 x 40, top of the About box
    std::map<std::string, QPixmap> buttons;  // "Convert" 64 px, "InFiles"/"InFolder" 48 px
    std::map<std::string, QPixmap> menu;     // 16 px
    std::map<std::string, QPixmap> toolbar;  // 16 px until a theme loads its size
};

// The program-wide icon tables.
IconTables& GlobalIcons();

// Names of the three tables, in their fixed order.
const std::vector<std::string>& ButtonIconNames();
const std::vector<std::string>& MenuIconNames();  // also the toolbar names

// Fills the tables with the images compiled into the program; an image that
// is missing is replaced by a transparent one of the right size.
void LoadBuiltInImages();

// An image from a table, or a transparent one of `pixels` when the name is absent.
QPixmap TableImage(const std::map<std::string, QPixmap>& table, const std::string& name,
                   int pixels);

}  // namespace tarnwick
