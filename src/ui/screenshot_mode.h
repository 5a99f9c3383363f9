// Pieces of the screenshot mode.
#pragma once

#include <QImage>
#include <string>

class QWidget;

namespace tarnwick {

// round(180 / (width / height)): the height of the small picture.
int ScaledPictureHeight(int width, int height);
// The window with its frame, as shown on the screen.
QImage CaptureWindow(QWidget& window);
// The maker's web address near the lower right corner.
void DrawWebAddress(QImage& image);
// "tarnwick1.jpg" and the 180-pixel-wide "tarnwick1x.jpg" at quality 90.
bool SaveScreenshotPictures(const QImage& picture, const std::string& folder);

}  // namespace tarnwick
