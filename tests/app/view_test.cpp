#include "app/view.h"
#include "app/main_window.h"
#include "core/state.h"
#include "support/app_fixture.h"
#include "toolkit/image_store.h"
namespace {
class ViewProbe : public AppTest {};
TEST_F(ViewProbe, Geometry) {
    Image* b = canvasBuffer(canvas);
    printf("canvas %d x %d tb %d sb %d mb %d maxV %d x %d win %d x %d outer %d x %d desk %d %d\n", b->width, b->height,
           toolBarHeight, statusBarHeightOf(mainStatusBar), menuBarHeightOf(mainMenuBar), maxViewWidth, maxViewHeight,
           windowWidth(mainWindow), windowHeight(mainWindow), windowWidth(mainWindow,false), windowHeight(mainWindow,false), desktopWidth, desktopHeight);
    storeImage(viewImage, Image(3000, 2000, 24, 0));
    fitWindowToImage(viewImage);
    printf("canvas %d x %d win %d x %d\n", b->width, b->height, windowWidth(mainWindow), windowHeight(mainWindow));
    setWindowState(mainWindow, windowMaximized);
    drainEvents();
    printf("max state %d canvas %d x %d win %d x %d\n", getWindowState(mainWindow), b->width, b->height, windowWidth(mainWindow), windowHeight(mainWindow));
}
}
