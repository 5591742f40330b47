// Windows over Qt Widgets: opening, placing and closing them, what the program hears of
// them, and their keyboard shortcuts.

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPointer>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QUrl>

#include "toolkit/placement.h"
#include "toolkit/qt_internal.h"

// ---- Windows --------------------------------------------------------------------------------

void PxContent::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (toolBar) toolBar->setGeometry(0, 0, width(), toolBar->sizeHint().height());
}

namespace {

// The frame of the window shown last, as the estimate for windows not yet framed: the
// window manager decorates the program's windows alike.
QMargins lastFrame;

void rememberFrame(const QMargins& frame) {
    lastFrame = frame;
}

// What the window manager added around the window: nothing before it is shown.
QMargins measuredFrame(const QWidget* w) {
    const QRect outer = w->frameGeometry(), inner = w->geometry();
    return QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                    outer.right() - inner.right(), outer.bottom() - inner.bottom());
}

std::vector<std::string> droppedLocalFiles(const QMimeData* data) {
    std::vector<std::string> files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
    }
    return files;
}

}  // namespace

PxWindow::PxWindow(int number, QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), number_(number) {
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    content_ = new PxContent(this);
    layout_->addWidget(content_, 1);
}

void PxWindow::relayout() {
    layout_->invalidate();
    layout_->activate();
}

// Files dropped on a window that takes them are queued with one event for the drop.
void PxWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedLocalFiles(event->mimeData()).empty()) event->acceptProposedAction();
}
void PxWindow::dragMoveEvent(QDragMoveEvent* event) {
    if (!droppedLocalFiles(event->mimeData()).empty()) event->acceptProposedAction();
}
void PxWindow::dropEvent(QDropEvent* event) {
    std::vector<std::string> files = droppedLocalFiles(event->mimeData());
    if (files.empty()) return;
    event->acceptProposedAction();
    dropFiles(number_, files);
}

void PxWindow::closeEvent(QCloseEvent* event) {
    // The program decides whether a window closes.
    event->ignore();
    postEvent(eventCloseWindow, number_);
}

void PxWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    postEvent(eventSizeWindow, number_);
    noticeFrame();
}

void PxWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    postEvent(eventMoveWindow, number_);
    noticeFrame();
}

void PxWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    noticeFrame();
    // The frame comes without an event of its own, after the window is mapped: watch
    // for it a while.
    if (frame_.isNull()) {
        frameWatch_.start();
        if (!frameTimer_) {
            frameTimer_ = new QTimer(this);
            frameTimer_->setInterval(frameWatchInterval);
            QObject::connect(frameTimer_, &QTimer::timeout, this, [this] {
                noticeFrame();
                if (!frame_.isNull() || !isVisible() ||
                    frameWatch_.elapsed() > frameWatchMilliseconds) {
                    frameTimer_->stop();
                }
            });
        }
        frameTimer_->start();
    }
}

void PxWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        Qt::WindowStates s = windowState();
        if (s & Qt::WindowMinimized) {
            postEvent(eventMinimizeWindow, number_);
        } else if (s & Qt::WindowMaximized) {
            postEvent(eventMaximizeWindow, number_);
        } else {
            postEvent(eventRestoreWindow, number_);
        }
    } else if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        postEvent(eventActivateWindow, number_);
        passFocusToModal();
    }
}

// A click into a window that a modal dialog blocks still activates it (the toolkit asks
// for that on every click, and the window manager obliges): the dialog takes the
// keyboard straight back, so it keeps the focus until it closes.
void PxWindow::passFocusToModal() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == this || !modal->isVisible()) return;
    if (modal->windowModality() == Qt::WindowModal) {
        // Modal to its owner's windows only: is this one of them?
        const QWidget* owner = modal->parentWidget();
        while (owner && owner != this) owner = owner->parentWidget();
        if (!owner) return;
    }
    QPointer<QWidget> target = modal;
    QTimer::singleShot(0, modal, [target] {
        if (!target || !target->isVisible()) return;
        target->raise();
        target->activateWindow();
    });
}

// A window manager frames a window some time after it is shown; the program hears of
// it, and of every later change of the frame, as eventFrameWindow.
void PxWindow::noticeFrame() {
    if (!isVisible()) return;
    const QMargins now = measuredFrame(this);
    if (now == frame_) return;
    frame_ = now;
    if (!now.isNull()) rememberFrame(now);
    postEvent(eventFrameWindow, number_);
}

namespace {

std::map<int, WindowRecord>& windows() {
    static std::map<int, WindowRecord> records;
    return records;
}

}  // namespace

WindowRecord* windowRecord(int n) {
    auto it = windows().find(n);
    return it == windows().end() ? nullptr : &it->second;
}

QColor toQColor(uint32_t colour) {
    return QColor(redOf(colour), greenOf(colour), blueOf(colour));
}

namespace {

ScreenRect toScreenRect(const QRect& r) {
    return {r.x(), r.y(), r.width(), r.height()};
}

ScreenRect desktopArea() {
    return {screenX(), screenY(), screenWidth(), screenHeight()};
}

// The frame around a window: measured once the window manager has drawn it, until then
// the frame of the window framed last.
FrameMargins frameOf(const QWidget* w) {
    if (w->windowFlags() & Qt::FramelessWindowHint) return {};
    QMargins m = w->isVisible() ? measuredFrame(w) : QMargins();
    if (m.isNull()) m = lastFrame;
    return {m.left(), m.top(), m.right(), m.bottom()};
}

// Moves the outer frame to (x, y), or as near as keeps the window inside the desktop.
void placeFrame(QWidget* w, int x, int y, int innerWidth, int innerHeight) {
    const FrameMargins frame = frameOf(w);
    const ScreenRect outer =
        outerRect({x + frame.left, y + frame.top, innerWidth, innerHeight}, frame);
    const ScreenPoint at = insideDesktop(outer, desktopArea());
    w->move(at.x, at.y);
}

}  // namespace

bool openWindow(int n, int x, int y, int innerWidth, int innerHeight, const std::string& title,
                int flags, int parent) {
    if (!QApplication::instance() || n < 0) return false;
    if (isWindow(n)) closeWindow(n);
    WindowRecord* owner = windowRecord(parent);
    Qt::WindowFlags qf = Qt::WindowTitleHint | Qt::CustomizeWindowHint;
    if (flags & windowCloseBox) qf |= Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint;
    if (flags & windowMinimizeBox) qf |= Qt::WindowMinimizeButtonHint;
    if (flags & windowMaximizeBox) qf |= Qt::WindowMaximizeButtonHint;
    if (flags & windowBorderless) {
        // A notice: drawn above everything, never given the keyboard, no frame.
        qf = Qt::ToolTip | Qt::FramelessWindowHint;
    } else if (owner) {
        // An owned window is a dialog of its owner: the window manager keeps it above the
        // owner, and the owner's shortcuts stand aside while it has the keyboard.
        qf |= Qt::Dialog;
    } else {
        qf |= Qt::Window;
    }
    auto* w = new PxWindow(n, owner ? owner->widget : nullptr, qf);
    w->setWindowTitle(QString::fromStdString(title));
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    // Tool tips show whichever window is active, as they do in the main window.
    w->setAttribute(Qt::WA_AlwaysShowToolTips, true);
    if ((flags & windowModal) && !(flags & windowBorderless)) {
        w->setWindowModality(owner ? Qt::WindowModal : Qt::ApplicationModal);
    }
    w->resize(innerWidth, innerHeight);
    if (!(flags & windowSizeable)) w->setFixedSize(innerWidth, innerHeight);
    const FrameMargins frame = frameOf(w);
    if (flags & windowScreenCentered) {
        const ScreenPoint at = centredOn(desktopArea(), innerWidth, innerHeight, frame);
        x = at.x;
        y = at.y;
    } else if ((flags & windowParentCentered) && owner) {
        const ScreenPoint at =
            centredOn(toScreenRect(owner->widget->frameGeometry()), innerWidth, innerHeight, frame);
        x = at.x;
        y = at.y;
    }
    placeFrame(w, x, y, innerWidth, innerHeight);
    WindowRecord rec;
    rec.widget = w;
    rec.content = w->content();
    windows()[n] = rec;
    w->relayout();
    useControlList(n);
    if (flags & windowNoActivate) w->setAttribute(Qt::WA_ShowWithoutActivating, true);
    if (!(flags & windowInvisible)) w->show();
    return true;
}

void closeWindow(int n) {
    WindowRecord* rec = windowRecord(n);
    if (!rec) return;
    // Controls, timers, menus and bars of the window go with it.
    freeControlsOfWindow(n);
    stopTimersOfWindow(n);
    forgetBarsOfWindow(n);
    PxWindow* w = rec->widget;
    windows().erase(n);
    w->hide();
    w->deleteLater();
}

bool isWindow(int n) {
    return windowRecord(n) != nullptr;
}

void acceptFileDrops(int n, bool accept) {
    if (WindowRecord* w = windowRecord(n)) w->widget->setAcceptDrops(accept);
}

void showWindow(int n, bool show) {
    if (WindowRecord* rec = windowRecord(n)) rec->widget->setVisible(show);
}

bool windowVisible(int n) {
    WindowRecord* rec = windowRecord(n);
    return rec && rec->widget->isVisible();
}

void setWindowTitle(int n, const std::string& title) {
    if (WindowRecord* rec = windowRecord(n))
        rec->widget->setWindowTitle(QString::fromStdString(title));
}

std::string windowTitle(int n) {
    WindowRecord* rec = windowRecord(n);
    return rec ? rec->widget->windowTitle().toStdString() : std::string();
}

void setWindowColour(int n, uint32_t colour) {
    WindowRecord* rec = windowRecord(n);
    if (!rec) return;
    QPalette pal = rec->widget->palette();
    pal.setColor(QPalette::Window, toQColor(colour));
    rec->widget->setPalette(pal);
    rec->widget->setAutoFillBackground(true);
}

int getWindowState(int n) {
    WindowRecord* rec = windowRecord(n);
    if (!rec) return windowNormal;
    Qt::WindowStates s = rec->widget->windowState();
    if (s & Qt::WindowMinimized) return windowMinimized;
    if (s & Qt::WindowMaximized) return windowMaximized;
    return windowNormal;
}

void setWindowState(int n, int state) {
    WindowRecord* rec = windowRecord(n);
    if (!rec) return;
    Qt::WindowStates s = rec->widget->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    if (state == windowMaximized) s |= Qt::WindowMaximized;
    if (state == windowMinimized) s |= Qt::WindowMinimized;
    rec->widget->setWindowState(s);
}

int windowX(int n, bool inner) {
    WindowRecord* rec = windowRecord(n);
    if (!rec) return 0;
    return inner ? rec->widget->geometry().x() : rec->widget->frameGeometry().x();
}

int windowY(int n, bool inner) {
    WindowRecord* rec = windowRecord(n);
    if (!rec) return 0;
    return inner ? rec->widget->geometry().y() : rec->widget->frameGeometry().y();
}

int windowWidth(int n, bool inner) {
    WindowRecord* rec = windowRecord(n);
    if (!rec) return 0;
    return inner ? rec->widget->width() : rec->widget->frameGeometry().width();
}

int windowHeight(int n, bool inner) {
    WindowRecord* rec = windowRecord(n);
    if (!rec) return 0;
    return inner ? rec->widget->height() : rec->widget->frameGeometry().height();
}

void resizeWindow(int n, int x, int y, int innerWidth, int innerHeight) {
    WindowRecord* rec = windowRecord(n);
    if (!rec) return;
    rec->widget->resize(innerWidth, innerHeight);
    placeFrame(rec->widget, x, y, innerWidth, innerHeight);
    rec->widget->relayout();
}

void setWindowMinimumSize(int n, int innerWidth, int innerHeight) {
    if (WindowRecord* rec = windowRecord(n)) rec->widget->setMinimumSize(innerWidth, innerHeight);
}

void activateWindow(int n) {
    if (WindowRecord* rec = windowRecord(n)) {
        rec->widget->raise();
        rec->widget->activateWindow();
    }
}

int screenX() {
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->availableGeometry().x() : 0;
}

int screenY() {
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->availableGeometry().y() : 0;
}

int screenWidth() {
    // Only the desktop area that windows may use (without panels and task bars).
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->availableGeometry().width() : 800;
}

int screenHeight() {
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->availableGeometry().height() : 600;
}

std::string homeDirectory() {
    std::string home = QDir::homePath().toStdString();
    if (home.empty() || home.back() != '/') home += '/';
    return home;
}

// ---- Keyboard shortcuts ---------------------------------------------------------------------

void addKeyboardShortcut(int window, const std::string& keys, int eventId) {
    WindowRecord* w = windowRecord(window);
    if (!w) return;
    removeKeyboardShortcut(window, keys);
    auto* shortcut = new QShortcut(QKeySequence(QString::fromStdString(keys)), w->widget);
    shortcut->setContext(Qt::WindowShortcut);
    shortcut->setAutoRepeat(true);
    QObject::connect(shortcut, &QShortcut::activated,
                     [window, eventId]() { postEvent(eventMenu, window, eventId); });
    w->shortcuts[keys] = shortcut;
}

void removeKeyboardShortcut(int window, const std::string& keys) {
    WindowRecord* w = windowRecord(window);
    if (!w) return;
    auto it = w->shortcuts.find(keys);
    if (it == w->shortcuts.end()) return;
    delete it->second;
    w->shortcuts.erase(it);
}

bool hasKeyboardShortcut(int window, const std::string& keys) {
    WindowRecord* w = windowRecord(window);
    return w && w->shortcuts.count(keys) > 0;
}

// ---- Release --------------------------------------------------------------------------------

void releaseToolkit() {
    releaseControls();
    std::vector<int> numbers;
    for (auto& [n, rec] : windows()) numbers.push_back(n);
    for (int n : numbers) closeWindow(n);
    releaseMenusAndBars();
    releaseFonts();
    clearEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
