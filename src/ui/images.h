// The interface images: the three icon tables and the About banner. Filled
// with the built-in images at start-up; a theme may replace them afterwards.
#pragma once

#include <QImage>
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

// The tables' images as pictures, which any thread may decode (a pixmap is
// made on the window's thread only). A null picture leaves its slot alone.
struct IconImages {
    QImage banner;
    std::map<std::string, QImage> buttons;
    std::map<std::string, QImage> menu;
    std::map<std::string, QImage> toolbar;
};
// The images compiled into the program, as LoadBuiltInImages puts them in.
IconImages ReadBuiltInImages();
// Puts every picture that is not null into its slot of the tables (on the
// window's thread).
void InstallIconImages(const IconImages& images);

// An image from a table, or a transparent one of `pixels` when the name is absent.
QPixmap TableImage(const std::map<std::string, QPixmap>& table, const std::string& name,
                   int pixels);

}  // namespace tarnwick
