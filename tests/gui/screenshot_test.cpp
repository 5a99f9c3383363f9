// The pictures of the screenshot mode: sizes, quality and the web address.
#include <QImage>
#include <QImageReader>

#include "gui_support.h"
#include "support/test_support.h"
#include "ui/screenshot_mode.h"

namespace tarnwick::test {
namespace {

TEST(ScreenshotTest, SmallPictureHeightIsRounded) {
    EXPECT_EQ(ScaledPictureHeight(510, 260), 92);  // 91.76
    EXPECT_EQ(ScaledPictureHeight(510, 279), 98);  // 98.47
    EXPECT_EQ(ScaledPictureHeight(360, 181), 91);  // 90.5 rounds up
    EXPECT_EQ(ScaledPictureHeight(0, 100), 0);
}

TEST_F(WindowTest, ScreenshotPicturesOfTheMainWindow) {
    TempDir dir;
    QImage picture = CaptureWindow(*window);
    ASSERT_FALSE(picture.isNull());
    const QImage before = picture.copy();
    DrawWebAddress(picture);
    EXPECT_NE(picture, before);  // the address was drawn
    ASSERT_TRUE(SaveScreenshotPictures(picture, dir.path()));

    QImageReader big(QString::fromStdString(dir / "tarnwick1.jpg"));
    EXPECT_EQ(big.format(), "jpeg");
    EXPECT_EQ(big.size(), picture.size());
    QImageReader small(QString::fromStdString(dir / "tarnwick1x.jpg"));
    EXPECT_EQ(small.size(), QSize(180, ScaledPictureHeight(picture.width(), picture.height())));
}

}  // namespace
}  // namespace tarnwick::test
