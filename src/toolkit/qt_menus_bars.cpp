// Menus, tool bars and status bars of the toolkit's windows.

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <algorithm>
#include <cctype>

#include "toolkit/image_store.h"
#include "toolkit/qt_internal.h"

namespace {

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

void forgetBarsOfWindow(int n) {
    for (auto it = menus().begin(); it != menus().end();) {
        it = it->second.window == n && it->second.bar ? menus().erase(it) : std::next(it);
    }
    for (auto it = toolBars().begin(); it != toolBars().end();) {
        it = it->second.window == n ? toolBars().erase(it) : std::next(it);
    }
    for (auto it = statusBars().begin(); it != statusBars().end();) {
        it = it->second.window == n ? statusBars().erase(it) : std::next(it);
    }
}

void releaseMenusAndBars() {
    for (auto& [n, rec] : menus()) {
        if (rec.popup) delete rec.popup;
    }
    menus().clear();
    toolBars().clear();
    statusBars().clear();
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

std::string statusBarText(int n, int field) {
    StatusBarRecord* rec = statusBarRecord(n);
    if (!rec || field < 0 || field >= static_cast<int>(rec->fields.size())) return {};
    return rec->fields[field]->text().toStdString();
}

int statusBarHeightOf(int n) {
    StatusBarRecord* rec = statusBarRecord(n);
    return rec ? rec->bar->sizeHint().height() : 0;
}
