// Events, windows, menus, tool bars, status bars and keyboard shortcuts over Qt Widgets.

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <deque>

#include "toolkit/image_store.h"
#include "toolkit/placement.h"
#include "toolkit/qt_internal.h"

// ---- Event queue ----------------------------------------------------------------------------

namespace {

std::deque<Event>& queue() {
    static std::deque<Event> events;
    return events;
}

QElapsedTimer& programClock() {
    static QElapsedTimer timer;
    if (!timer.isValid()) timer.start();
    return timer;
}

}  // namespace

void postEvent(const Event& event) {
    queue().push_back(event);
}

void postEvent(int kind, int window, int object, int64_t type) {
    Event e;
    e.kind = kind;
    e.window = window;
    e.object = object;
    e.type = type;
    postEvent(e);
}

void clearEvents() {
    queue().clear();
}

namespace {

// Windows and controls freed by the program are deleted here, when no Qt handler is on
// the stack: processEvents alone never runs deletions asked for outside an event loop.
void deleteFreedWidgets() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Some of Qt's drawing code leaves the upper halves of the AVX registers in use. The
// program's own loops are built for plain SSE, and on many processors every one of their
// vector instructions then waits on those halves: NeuQuant's training ran four times
// slower after a dithered preview had been painted. Clearing them whenever control comes
// back from Qt costs one instruction. (The program is built without AVX, so no value of
// its own lives in the upper halves.)
void clearUpperVectorState() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    static const bool avx = __builtin_cpu_supports("avx");
    if (avx) asm volatile("vzeroupper");
#endif
}

}  // namespace

Event windowEvent() {
    deleteFreedWidgets();
    if (queue().empty()) QCoreApplication::processEvents(QEventLoop::AllEvents);
    clearUpperVectorState();
    if (queue().empty()) return Event{};
    Event e = queue().front();
    queue().pop_front();
    return e;
}

namespace {
std::function<void()>& idleHandler() {
    static std::function<void()> handler;
    return handler;
}
}  // namespace

void setIdleHandler(std::function<void()> handler) {
    idleHandler() = std::move(handler);
}

Event waitWindowEvent() {
    deleteFreedWidgets();
    if (queue().empty() && idleHandler()) {
        // A copy: the handler may replace or remove itself.
        std::function<void()> handler = idleHandler();
        handler();
    }
    while (queue().empty()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    clearUpperVectorState();
    Event e = queue().front();
    queue().pop_front();
    return e;
}

namespace {
ClockFunction clockOverride = nullptr;
SleepFunction sleepOverride = nullptr;
}  // namespace

int64_t elapsedMilliseconds() {
    return clockOverride ? clockOverride() : programClock().elapsed();
}

void delay(int milliseconds) {
    if (sleepOverride) {
        sleepOverride(milliseconds);
        return;
    }
    if (milliseconds > 0) QThread::msleep(static_cast<unsigned long>(milliseconds));
}

void setClock(ClockFunction now, SleepFunction sleep) {
    clockOverride = now;
    sleepOverride = sleep;
}

// ---- Timers ---------------------------------------------------------------------------------

namespace {

std::map<std::pair<int, int>, QTimer*>& timers() {
    static std::map<std::pair<int, int>, QTimer*> records;
    return records;
}

void stopTimersOfWindow(int window) {
    auto& all = timers();
    for (auto it = all.begin(); it != all.end();) {
        if (it->first.first != window) {
            ++it;
            continue;
        }
        delete it->second;
        it = all.erase(it);
    }
}

}  // namespace

void startWindowTimer(int window, int id, int milliseconds) {
    WindowRecord* rec = windowRecord(window);
    if (!rec) return;
    QTimer*& timer = timers()[{window, id}];
    if (!timer) {
        timer = new QTimer();
        timer->setSingleShot(true);
        // A coarse timer may fire a little early, before a deadline the program checks.
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer, &QTimer::timeout,
                         [window, id]() { postEvent(eventTimer, window, id); });
    }
    timer->start(std::max(milliseconds, 0));
}

void stopWindowTimer(int window, int id) {
    auto it = timers().find({window, id});
    if (it == timers().end()) return;
    delete it->second;
    timers().erase(it);
}

bool windowTimerActive(int window, int id) {
    auto it = timers().find({window, id});
    return it != timers().end() && it->second->isActive();
}

// ---- Windows --------------------------------------------------------------------------------

// The area below the menu bar: the tool bar along its top, controls placed freely.
class PxContent : public QWidget {
  public:
    explicit PxContent(QWidget* parent) : QWidget(parent) {}
    QToolBar* toolBar = nullptr;

  protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        if (toolBar) toolBar->setGeometry(0, 0, width(), toolBar->sizeHint().height());
    }
};

// The status bar: fixed-width fields, fields as wide as their text, and one field taking
// the rest.
class PxStatusBar : public QWidget {
  public:
    explicit PxStatusBar(QWidget* parent) : QWidget(parent) {
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    }
    std::vector<QLabel*> fields;
    std::vector<int> widths;

    QSize sizeHint() const override { return QSize(100, fieldHeight() + 2 * margin); }
    QSize minimumSizeHint() const override { return sizeHint(); }

    void placeFields() {
        std::vector<int> actual(fields.size());
        int fixed = 0;
        for (size_t i = 0; i < fields.size(); ++i) {
            if (widths[i] == statusFieldRemaining) continue;
            actual[i] = widths[i] == statusFieldFitText ? fields[i]->sizeHint().width() : widths[i];
            fixed += actual[i] + spacing;
        }
        int x = margin;
        for (size_t i = 0; i < fields.size(); ++i) {
            int w = widths[i] == statusFieldRemaining ? std::max(0, width() - 2 * margin - fixed)
                                                      : actual[i];
            fields[i]->setGeometry(x, margin, w, fieldHeight());
            x += w + spacing;
        }
    }

  protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        placeFields();
    }

  private:
    static constexpr int margin = 1;
    static constexpr int spacing = 2;
    int fieldHeight() const { return fontMetrics().height() + 6; }
};

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

}  // namespace

namespace {

std::vector<std::string>& droppedFileList() {
    static std::vector<std::string> files;
    return files;
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

void dropFiles(int window, const std::vector<std::string>& files) {
    // A drop replaces one the program has not taken yet: the user meant the last.
    droppedFileList() = files;
    postEvent(eventDropFiles, window);
}

std::vector<std::string> takeDroppedFiles() {
    std::vector<std::string> files;
    files.swap(droppedFileList());
    return files;
}

class PxWindow : public QWidget {
  public:
    PxWindow(int number, QWidget* parent, Qt::WindowFlags flags)
        : QWidget(parent, flags), number_(number) {
        layout_ = new QVBoxLayout(this);
        layout_->setContentsMargins(0, 0, 0, 0);
        layout_->setSpacing(0);
        content_ = new PxContent(this);
        layout_->addWidget(content_, 1);
    }

    PxContent* content() const { return content_; }
    QVBoxLayout* verticalLayout() const { return layout_; }

    // Sizes follow at once, so a caller can read them back without an event round.
    void relayout() {
        layout_->invalidate();
        layout_->activate();
    }

  protected:
    // Files dropped on a window that takes them are queued with one event for the drop.
    void dragEnterEvent(QDragEnterEvent* event) override {
        if (!droppedLocalFiles(event->mimeData()).empty()) event->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* event) override {
        if (!droppedLocalFiles(event->mimeData()).empty()) event->acceptProposedAction();
    }
    void dropEvent(QDropEvent* event) override {
        std::vector<std::string> files = droppedLocalFiles(event->mimeData());
        if (files.empty()) return;
        event->acceptProposedAction();
        dropFiles(number_, files);
    }

    void closeEvent(QCloseEvent* event) override {
        // The program decides whether a window closes.
        event->ignore();
        postEvent(eventCloseWindow, number_);
    }

    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        postEvent(eventSizeWindow, number_);
        noticeFrame();
    }

    void moveEvent(QMoveEvent* event) override {
        QWidget::moveEvent(event);
        postEvent(eventMoveWindow, number_);
        noticeFrame();
    }

    void showEvent(QShowEvent* event) override {
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

    void changeEvent(QEvent* event) override {
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

  private:
    // A click into a window that a modal dialog blocks still activates it (the toolkit asks
    // for that on every click, and the window manager obliges): the dialog takes the
    // keyboard straight back, so it keeps the focus until it closes.
    void passFocusToModal() {
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
    void noticeFrame() {
        if (!isVisible()) return;
        const QMargins now = measuredFrame(this);
        if (now == frame_) return;
        frame_ = now;
        if (!now.isNull()) rememberFrame(now);
        postEvent(eventFrameWindow, number_);
    }

    static constexpr int frameWatchInterval = 20;
    static constexpr int frameWatchMilliseconds = 5000;

    int number_;
    QVBoxLayout* layout_;
    PxContent* content_;
    QMargins frame_;
    QTimer* frameTimer_ = nullptr;
    QElapsedTimer frameWatch_;
};

namespace {

std::map<int, WindowRecord>& windows() {
    static std::map<int, WindowRecord> records;
    return records;
}
std::map<int, MenuRecord>& menus() {
    static std::map<int, MenuRecord> records;
    return records;
}
std::map<int, ToolBarRecord>& toolBars() {
    static std::map<int, ToolBarRecord> records;
    return records;
}
std::map<int, StatusBarRecord>& statusBars() {
    static std::map<int, StatusBarRecord> records;
    return records;
}

// Builders: the menu, tool bar and status bar being filled.
int buildingMenu = -1;
std::vector<QMenu*> menuStack;  // current submenu chain; empty = the bar itself
int buildingToolBar = -1;
int buildingStatusBar = -1;

}  // namespace

WindowRecord* windowRecord(int n) {
    auto it = windows().find(n);
    return it == windows().end() ? nullptr : &it->second;
}
MenuRecord* menuRecord(int n) {
    auto it = menus().find(n);
    return it == menus().end() ? nullptr : &it->second;
}
ToolBarRecord* toolBarRecord(int n) {
    auto it = toolBars().find(n);
    return it == toolBars().end() ? nullptr : &it->second;
}
StatusBarRecord* statusBarRecord(int n) {
    auto it = statusBars().find(n);
    return it == statusBars().end() ? nullptr : &it->second;
}

int windowNumberOf(const QWidget* widget) {
    for (auto& [n, rec] : windows()) {
        if (rec.widget == widget) return n;
    }
    return -1;
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
    for (auto it = menus().begin(); it != menus().end();) {
        it = it->second.window == n && it->second.bar ? menus().erase(it) : std::next(it);
    }
    for (auto it = toolBars().begin(); it != toolBars().end();) {
        it = it->second.window == n ? toolBars().erase(it) : std::next(it);
    }
    for (auto it = statusBars().begin(); it != statusBars().end();) {
        it = it->second.window == n ? statusBars().erase(it) : std::next(it);
    }
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

// ---- Menus ----------------------------------------------------------------------------------

namespace {

QAction* addAction(QWidget* menu, int menuNumber, int id, const QString& caption) {
    auto* action = new QAction(caption, menu);
    menu->addAction(action);
    QObject::connect(action, &QAction::triggered, [menuNumber, id]() {
        MenuRecord* rec = menuRecord(menuNumber);
        if (rec) postEvent(eventMenu, rec->window, id);
    });
    return action;
}

QWidget* currentMenuWidget() {
    MenuRecord* rec = menuRecord(buildingMenu);
    if (!rec) return nullptr;
    if (!menuStack.empty()) return menuStack.back();
    if (rec->popup) return rec->popup;
    return nullptr;  // a bar without a title yet
}

}  // namespace

bool createMenuBar(int n, int window) {
    WindowRecord* w = windowRecord(window);
    if (!w) return false;
    MenuRecord rec;
    rec.window = window;
    rec.bar = new QMenuBar(w->widget);
    rec.bar->setNativeMenuBar(false);
    menus()[n] = rec;
    w->menuBar = rec.bar;
    w->widget->verticalLayout()->setMenuBar(rec.bar);
    w->widget->relayout();
    // F10 opens the first menu, as on most desktops.
    QMenuBar* bar = rec.bar;
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), w->widget);
    f10->setContext(Qt::WindowShortcut);
    QObject::connect(f10, &QShortcut::activated, bar, [bar] {
        if (!bar->actions().isEmpty()) bar->setActiveAction(bar->actions().first());
    });
    buildingMenu = n;
    menuStack.clear();
    return true;
}

bool createPopupMenu(int n) {
    MenuRecord rec;
    rec.popup = new QMenu();
    menus()[n] = rec;
    buildingMenu = n;
    menuStack.clear();
    return true;
}

void menuTitle(const std::string& title) {
    MenuRecord* rec = menuRecord(buildingMenu);
    if (!rec || !rec->bar) return;
    menuStack.clear();
    // Alt plus the first letter of the title that no earlier title took opens the menu;
    // the caption itself stays as given (the letter is only underlined).
    QString text = QString::fromStdString(title).replace("&", "&&");
    for (size_t i = 0; i < title.size(); ++i) {
        auto c = static_cast<unsigned char>(title[i]);
        if (!std::isalpha(c)) continue;
        char lower = static_cast<char>(std::tolower(c));
        if (rec->mnemonics.find(lower) != std::string::npos) continue;
        rec->mnemonics += lower;
        text = QString::fromStdString(title.substr(0, i)).replace("&", "&&") + "&" +
               QString::fromStdString(title.substr(i)).replace("&", "&&");
        break;
    }
    menuStack.push_back(rec->bar->addMenu(text));
    if (WindowRecord* w = windowRecord(rec->window)) w->widget->relayout();
}

void menuItem(int id, const std::string& caption) {
    QWidget* menu = currentMenuWidget();
    if (!menu) return;
    QAction* action = addAction(menu, buildingMenu, id, QString::fromStdString(caption));
    menuRecord(buildingMenu)->items.emplace(id, action);
}

void openSubMenu(const std::string& title) {
    QWidget* menu = currentMenuWidget();
    auto* parent = qobject_cast<QMenu*>(menu);
    if (!parent) return;
    menuStack.push_back(parent->addMenu(QString::fromStdString(title)));
}

void closeSubMenu() {
    MenuRecord* rec = menuRecord(buildingMenu);
    size_t keep = rec && rec->bar ? 1 : 0;  // the title's menu stays open in a bar
    if (menuStack.size() > keep) menuStack.pop_back();
}

void menuSeparator() {
    if (auto* menu = qobject_cast<QMenu*>(currentMenuWidget())) menu->addSeparator();
}

void setMenuItemChecked(int menu, int id, bool checked) {
    MenuRecord* rec = menuRecord(menu);
    if (!rec) return;
    auto range = rec->items.equal_range(id);
    for (auto it = range.first; it != range.second; ++it) {
        it->second->setCheckable(true);
        it->second->setChecked(checked);
    }
}

void setMenuItemText(int menu, int id, const std::string& caption) {
    MenuRecord* rec = menuRecord(menu);
    if (!rec) return;
    auto range = rec->items.equal_range(id);
    for (auto it = range.first; it != range.second; ++it) {
        it->second->setText(QString::fromStdString(caption));
    }
}

std::string menuItemText(int menu, int id) {
    MenuRecord* rec = menuRecord(menu);
    if (!rec) return "";
    auto it = rec->items.find(id);
    return it == rec->items.end() ? "" : it->second->text().toStdString();
}

void showMenuItem(int menu, int id, bool shown) {
    MenuRecord* rec = menuRecord(menu);
    if (!rec) return;
    auto range = rec->items.equal_range(id);
    for (auto it = range.first; it != range.second; ++it) it->second->setVisible(shown);
}

bool menuItemShown(int menu, int id) {
    MenuRecord* rec = menuRecord(menu);
    if (!rec) return false;
    auto it = rec->items.find(id);
    return it != rec->items.end() && it->second->isVisible();
}

void disableMenuItem(int menu, int id, bool disabled) {
    MenuRecord* rec = menuRecord(menu);
    if (!rec) return;
    auto range = rec->items.equal_range(id);
    for (auto it = range.first; it != range.second; ++it) it->second->setEnabled(!disabled);
}

bool isMenu(int n) {
    return menuRecord(n) != nullptr;
}

int freeMenuNumber() {
    int n = 10000;
    while (menuRecord(n)) ++n;
    return n;
}

void freePopupMenu(int n) {
    MenuRecord* rec = menuRecord(n);
    if (!rec || !rec->popup) return;
    rec->popup->deleteLater();
    menus().erase(n);
    if (buildingMenu == n) buildingMenu = -1;
}

bool menuItemChecked(int menu, int id) {
    MenuRecord* rec = menuRecord(menu);
    if (!rec) return false;
    auto it = rec->items.find(id);
    return it != rec->items.end() && it->second->isChecked();
}

int menuBarHeightOf(int n) {
    MenuRecord* rec = menuRecord(n);
    return rec && rec->bar ? rec->bar->sizeHint().height() : 0;
}

void displayPopupMenu(int n, int window, int control, int x, int y) {
    MenuRecord* rec = menuRecord(n);
    if (!rec || !rec->popup) return;
    rec->window = window;
    ControlRecord* c = controlRecord(control);
    // A canvas counts device pixels; the window counts its own units.
    const double scale = isCanvas(control) ? canvasScale(control) : 1.0;
    QPoint at =
        c ? c->widget->mapToGlobal(QPointF(x / scale, y / scale)).toPoint() : QCursor::pos();
    rec->popup->popup(at);
}

// ---- Tool bar -------------------------------------------------------------------------------

namespace {

// Simple drawn icons where the desktop theme has none.
QIcon drawnIcon(StandardIcon icon) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(QColor(40, 40, 40));
    p.setPen(pen);
    switch (icon) {
        case iconCut:
            p.drawEllipse(QRectF(1.5, 10.5, 4, 4));
            p.drawEllipse(QRectF(10.5, 10.5, 4, 4));
            p.drawLine(QPointF(4.5, 10.5), QPointF(11, 1));
            p.drawLine(QPointF(11.5, 10.5), QPointF(5, 1));
            break;
        case iconCopy:
            p.setBrush(QColor(250, 250, 250));
            p.drawRect(QRectF(1.5, 1.5, 8, 10));
            p.drawRect(QRectF(6.5, 4.5, 8, 10));
            break;
        case iconPaste:
        case iconPasteNew:
            p.setBrush(QColor(200, 150, 80));
            p.drawRect(QRectF(2.5, 2.5, 11, 13));
            p.setBrush(QColor(250, 250, 250));
            p.drawRect(QRectF(5.5, 1.5, 5, 3));
            if (icon == iconPasteNew) {
                p.setBrush(QColor(255, 220, 60));
                p.drawEllipse(QRectF(8.5, 8.5, 6.5, 6.5));
            } else {
                p.drawRect(QRectF(5.5, 6.5, 7, 8));
            }
            break;
        case iconCount:
            p.setPen(Qt::NoPen);
            p.fillRect(1, 1, 7, 7, QColor(220, 40, 40));
            p.fillRect(8, 1, 7, 7, QColor(40, 180, 40));
            p.fillRect(1, 8, 7, 7, QColor(40, 80, 220));
            p.fillRect(8, 8, 7, 7, QColor(240, 200, 40));
            break;
        default:
            break;
    }
    return QIcon(pm);
}

QIcon standardIcon(StandardIcon icon) {
    QStyle* style = QApplication::style();
    switch (icon) {
        case iconNew:
            return QIcon::fromTheme("document-new", style->standardIcon(QStyle::SP_FileIcon));
        case iconOpen:
            return QIcon::fromTheme("document-open",
                                    style->standardIcon(QStyle::SP_DialogOpenButton));
        case iconSave:
            return QIcon::fromTheme("document-save",
                                    style->standardIcon(QStyle::SP_DialogSaveButton));
        case iconCut:
            return QIcon::fromTheme("edit-cut", drawnIcon(icon));
        case iconCopy:
            return QIcon::fromTheme("edit-copy", drawnIcon(icon));
        case iconPaste:
            return QIcon::fromTheme("edit-paste", drawnIcon(icon));
        case iconPasteNew:
        case iconCount:
            return drawnIcon(icon);
        case iconHelp:
            return QIcon::fromTheme("help-contents",
                                    style->standardIcon(QStyle::SP_MessageBoxQuestion));
    }
    return QIcon();
}

QImage wrapImage(const Image& image) {
    return QImage(reinterpret_cast<const uchar*>(image.pixels.data()), image.width, image.height,
                  image.width * 4,
                  image.depth == 32 ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888);
}

void addToolButton(int id, const QIcon& icon, bool toggle) {
    ToolBarRecord* rec = toolBarRecord(buildingToolBar);
    if (!rec) return;
    QAction* action = rec->bar->addAction(icon, QString());
    action->setCheckable(toggle);
    int number = buildingToolBar;
    QObject::connect(action, &QAction::triggered, [number, id]() {
        ToolBarRecord* r = toolBarRecord(number);
        if (r) postEvent(eventMenu, r->window, id);
    });
    rec->buttons[id] = action;
}

QAction* toolButton(int toolBar, int id) {
    ToolBarRecord* rec = toolBarRecord(toolBar);
    if (!rec) return nullptr;
    auto it = rec->buttons.find(id);
    return it == rec->buttons.end() ? nullptr : it->second;
}

}  // namespace

bool createToolBar(int n, int window) {
    WindowRecord* w = windowRecord(window);
    if (!w) return false;
    ToolBarRecord rec;
    rec.window = window;
    rec.bar = new QToolBar(w->content);
    rec.bar->setIconSize(QSize(16, 16));
    rec.bar->setMovable(false);
    rec.bar->setFloatable(false);
    rec.bar->setFocusPolicy(Qt::NoFocus);
    toolBars()[n] = rec;
    w->toolBar = rec.bar;
    w->widget->content()->toolBar = rec.bar;
    rec.bar->setGeometry(0, 0, w->content->width(), rec.bar->sizeHint().height());
    rec.bar->show();
    buildingToolBar = n;
    return true;
}

void toolBarStandardButton(int id, StandardIcon icon, bool toggle) {
    addToolButton(id, standardIcon(icon), toggle);
}

void toolBarImageButton(int id, int imageNumber, bool toggle) {
    Image* image = findImage(imageNumber);
    QIcon icon;
    if (image) icon = QIcon(QPixmap::fromImage(wrapImage(*image).copy()));
    addToolButton(id, icon, toggle);
}

void toolBarSeparator() {
    if (ToolBarRecord* rec = toolBarRecord(buildingToolBar)) rec->bar->addSeparator();
}

void toolBarToolTip(int toolBar, int id, const std::string& text) {
    if (QAction* a = toolButton(toolBar, id)) a->setToolTip(QString::fromStdString(text));
}

void disableToolBarButton(int toolBar, int id, bool disabled) {
    if (QAction* a = toolButton(toolBar, id)) a->setEnabled(!disabled);
}

bool toolBarButtonEnabled(int toolBar, int id) {
    QAction* a = toolButton(toolBar, id);
    return a && a->isEnabled();
}

void setToolBarButtonState(int toolBar, int id, bool pressed) {
    if (QAction* a = toolButton(toolBar, id)) a->setChecked(pressed);
}

bool toolBarButtonState(int toolBar, int id) {
    QAction* a = toolButton(toolBar, id);
    return a && a->isChecked();
}

int toolBarHeightOf(int n) {
    ToolBarRecord* rec = toolBarRecord(n);
    return rec ? rec->bar->sizeHint().height() : 0;
}

// ---- Status bar -----------------------------------------------------------------------------

bool createStatusBar(int n, int window) {
    WindowRecord* w = windowRecord(window);
    if (!w) return false;
    StatusBarRecord rec;
    rec.window = window;
    rec.bar = new PxStatusBar(w->widget);
    statusBars()[n] = rec;
    w->statusBar = rec.bar;
    w->widget->verticalLayout()->addWidget(rec.bar, 0);
    w->widget->relayout();
    buildingStatusBar = n;
    return true;
}

void addStatusBarField(int width) {
    StatusBarRecord* rec = statusBarRecord(buildingStatusBar);
    if (!rec) return;
    auto* bar = static_cast<PxStatusBar*>(rec->bar);
    auto* label = new QLabel(bar);
    label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    label->setTextFormat(Qt::PlainText);
    bar->fields.push_back(label);
    bar->widths.push_back(width);
    rec->fields.push_back(label);
    bar->placeFields();
    label->show();
}

void setStatusBarText(int n, int field, const std::string& text) {
    StatusBarRecord* rec = statusBarRecord(n);
    if (!rec || field < 0 || field >= static_cast<int>(rec->fields.size())) return;
    rec->fields[field]->setText(QString::fromStdString(text));
    // A narrow field cuts long texts; the tooltip shows them whole.
    rec->fields[field]->setToolTip(QString::fromStdString(text));
    static_cast<PxStatusBar*>(rec->bar)->placeFields();
}

int statusBarFieldWidth(int n, int field) {
    StatusBarRecord* rec = statusBarRecord(n);
    if (!rec || field < 0 || field >= static_cast<int>(rec->fields.size())) return 0;
    return rec->fields[field]->width();
}

std::string statusBarText(int n, int field) {
    StatusBarRecord* rec = statusBarRecord(n);
    if (!rec || field < 0 || field >= static_cast<int>(rec->fields.size())) return {};
    return rec->fields[field]->text().toStdString();
}

int statusBarHeightOf(int n) {
    StatusBarRecord* rec = statusBarRecord(n);
    return rec ? rec->bar->sizeHint().height() : 0;
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
    for (auto& [n, rec] : menus()) {
        if (rec.popup) delete rec.popup;
    }
    menus().clear();
    toolBars().clear();
    statusBars().clear();
    releaseFonts();
    clearEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
