#pragma once
// Qt objects behind the toolkit's numbers, shared by the toolkit's own files and by tests
// that trigger real actions. Program code uses toolkit/gui.h only.

#include <QAction>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QMargins>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWidget>
#include <map>
#include <string>
#include <vector>

#include "toolkit/gui.h"

class QTimer;

// The area below the menu bar: the tool bar along its top, controls placed freely.
class PxContent : public QWidget {
  public:
    explicit PxContent(QWidget* parent) : QWidget(parent) {}
    QToolBar* toolBar = nullptr;

  protected:
    void resizeEvent(QResizeEvent* event) override;
};

// A toolkit window: menu bar, content and status bar one above the other. Whatever
// happens to it is posted to the program as an event.
class PxWindow : public QWidget {
  public:
    PxWindow(int number, QWidget* parent, Qt::WindowFlags flags);

    PxContent* content() const { return content_; }
    QVBoxLayout* verticalLayout() const { return layout_; }

    // Sizes follow at once, so a caller can read them back without an event round.
    void relayout();

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void passFocusToModal();
    void noticeFrame();

    static constexpr int frameWatchInterval = 20;
    static constexpr int frameWatchMilliseconds = 5000;

    int number_;
    QVBoxLayout* layout_;
    PxContent* content_;
    QMargins frame_;
    QTimer* frameTimer_ = nullptr;
    QElapsedTimer frameWatch_;
};

// The canvas control: a buffer the program draws into, and the mouse and keys over it.
class PxCanvas : public QWidget {
  public:
    PxCanvas(int number, QWidget* parent);

    Image buffer;
    int cursorShape = cursorDefault;
    int shownImage = -1;
    int mouseX = 0;
    int mouseY = 0;

    // One buffer word per device pixel: at 100 % an image pixel is a pixel of the screen,
    // whatever scale the rest of the interface is drawn at.
    void resizeBuffer(int w, int h);

  protected:
    void paintEvent(QPaintEvent*) override;
    void wheelEvent(QWheelEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

  private:
    void track(QMouseEvent* e);
    void mouse(QMouseEvent* e, bool down);

    int number_;
    bool leftDown_ = false;
};

struct WindowRecord {
    PxWindow* widget = nullptr;
    QWidget* content = nullptr;  // controls live here, below the menu bar
    QMenuBar* menuBar = nullptr;
    QWidget* statusBar = nullptr;
    QToolBar* toolBar = nullptr;
    std::map<std::string, QShortcut*> shortcuts;
};

struct MenuRecord {
    int window = -1;
    QMenuBar* bar = nullptr;
    QMenu* popup = nullptr;
    std::multimap<int, QAction*> items;
    std::string mnemonics;  // letters the bar's titles already answer to with Alt
};

struct ToolBarRecord {
    int window = -1;
    QToolBar* bar = nullptr;
    std::map<int, QAction*> buttons;
};

struct StatusBarRecord {
    int window = -1;
    QWidget* bar = nullptr;
    std::vector<QLabel*> fields;
};

struct ControlRecord {
    QWidget* widget = nullptr;
    int window = -1;
    int kind = 0;
    std::vector<ControlCallback> callbacks;
    std::vector<int64_t> itemData;
    int imageNumber = -1;
};

WindowRecord* windowRecord(int n);
MenuRecord* menuRecord(int n);
ToolBarRecord* toolBarRecord(int n);
StatusBarRecord* statusBarRecord(int n);
ControlRecord* controlRecord(int n);

// The control's widget as a T, null when the control is none or another kind.
template <typename T>
T* widgetAs(int n) {
    ControlRecord* rec = controlRecord(n);
    return rec ? dynamic_cast<T*>(rec->widget) : nullptr;
}

// An event of control `n` of the given type, addressed to the control's window.
Event controlEvent(int n, int type);
// Delivers a control's event: bound callbacks first, then the queue.
void deliverControlEvent(const Event& event);
QColor toQColor(uint32_t colour);
// The image's pixels seen as a QImage, without a copy: drawing into it draws into `image`.
QImage wrapImage(Image& image);
QFont* fontObject(int n);
// What a window owns goes with it, and everything with the toolkit.
void releaseControls();
void freeControlsOfWindow(int window);
void stopTimersOfWindow(int window);
void forgetBarsOfWindow(int window);
void releaseMenusAndBars();
void releaseFonts();
// The folder a file dialog opens in for `folder`: the folder itself, else the nearest folder
// above it that exists, else the home folder.
std::string dialogStartFolder(const std::string& folder);
// The font the font picker starts at for `initial`: the family the name stands for on this
// system (a picker lists real families only), with the size and style.
QFont fontPickerStart(const FontChoice& initial);
