// On a doubled screen (run as "app_doubled_screen" with QT_SCALE_FACTOR=2) the canvas
// counts device pixels: at 100 % one image pixel is one pixel of the screen, in the buffer,
// in what Qt paints and under the mouse, while the rest of the window is scaled by Qt.

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>

#include "app/view.h"
#include "core/state.h"
#include "support/app_fixture.h"
#include "toolkit/image_store.h"

namespace {

class DoubledScreenTest : public AppTest {};

TEST_F(DoubledScreenTest, AtActualPixelsAnImagePixelIsADevicePixel) {
    if (canvasScale(canvas) != 2.0) GTEST_SKIP() << "needs QT_SCALE_FACTOR=2";
    const Image picture = randomImage(400, 300, 31, 24);
    storeImage(viewImage, picture);
    fitWindowToImage(viewImage);
    drainEvents();
    // The 800 x 450 minimum view is 1600 x 900 device pixels.
    ASSERT_EQ(controlWidth(canvas), 800);
    ASSERT_EQ(canvasBuffer(canvas)->width, 1600);
    ASSERT_EQ(canvasBuffer(canvas)->height, 900);
    const int left = (1600 - 400) / 2, top = (900 - 300) / 2;
    EXPECT_EQ(currentView().originX(), left);
    EXPECT_EQ(currentView().originY(), top);

    // What Qt paints: each image pixel on one device pixel, none doubled.
    QWidget* widget = controlRecord(canvas)->widget;
    const QImage painted = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(painted.width(), 1600);
    for (int y : {0, 1, 150, 299}) {
        for (int x : {0, 1, 2, 200, 399}) {
            const uint32_t p = picture.at(x, y);
            ASSERT_EQ(painted.pixel(left + x, top + y), qRgb(redOf(p), greenOf(p), blueOf(p)))
                << x << "," << y;
        }
    }

    // The mouse at window position (350, 250) is on device pixel (700, 500): image pixel
    // (100, 200).
    QMouseEvent move(QEvent::MouseMove, QPointF(350, 250), widget->mapToGlobal(QPointF(350, 250)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
    EXPECT_EQ(canvasMouseX(canvas), 700);
    EXPECT_EQ(canvasMouseY(canvas), 500);
    EXPECT_EQ(currentView().imageX(canvasMouseX(canvas)), 100);
    EXPECT_EQ(currentView().imageY(canvasMouseY(canvas)), 200);
}

}  // namespace
