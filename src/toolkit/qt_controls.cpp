// Controls (buttons, fields, lists...) over Qt Widgets: making them, their values and looks.

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <QToolButton>
#include <algorithm>

#include "toolkit/image_store.h"
#include "toolkit/qt_internal.h"

namespace {

enum ControlKind {
    kindCanvas = 1,
    kindButton,
    kindText,
    kindString,
    kindCheckBox,
    kindOption,
    kindComboBox,
    kindSpin,
    kindTrackBar,
    kindFrame,
    kindImage,
    kindEditor,
    kindBox,
};

constexpr int firstFreeControl = 10000;

std::map<int, ControlRecord>& controls() {
    static std::map<int, ControlRecord> records;
    return records;
}

int controlListWindow = -1;
QButtonGroup* openOptionGroup = nullptr;  // consecutive option controls form one group

int freeControlNumber() {
    int n = firstFreeControl;
    while (controls().count(n)) ++n;
    return n;
}

}  // namespace

Event controlEvent(int n, int type) {
    Event e;
    e.kind = eventControl;
    ControlRecord* rec = controlRecord(n);
    e.window = rec ? rec->window : -1;
    e.object = n;
    e.type = type;
    return e;
}

QImage wrapImage(Image& image) {
    return QImage(reinterpret_cast<uchar*>(image.pixels.data()), image.width, image.height,
                  image.width * 4,
                  image.depth == 32 ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888);
}

namespace {

void emitChange(int n, int type = controlChange) {
    deliverControlEvent(controlEvent(n, type));
}

QPixmap pixmapOf(int imageNumber) {
    Image* image = findImage(imageNumber);
    if (!image) return QPixmap();
    return QPixmap::fromImage(wrapImage(*image).copy());
}

// A read-only field that tells when it receives the keyboard focus, as a click into it
// gives it: windows open a picker from there.
class PxFocusField : public QLineEdit {
  public:
    PxFocusField(int number, const QString& text) : QLineEdit(text), number_(number) {
        setReadOnly(true);
    }

  protected:
    void focusInEvent(QFocusEvent* e) override {
        QLineEdit::focusInEvent(e);
        emitChange(number_, controlFocus);
    }

  private:
    int number_;
};

class PxImageLabel : public QLabel {
  public:
    PxImageLabel(int number, QWidget* parent) : QLabel(parent), number_(number) {}

  protected:
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton) {
            afterDoubleClick_ = false;
            emitChange(number_);
        }
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        if (e->button() != Qt::LeftButton) return;
        afterDoubleClick_ = true;
        emitAt(controlDoubleClick, e);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() == Qt::RightButton) {
            emitAt(controlRightButtonUp, e);
        } else if (e->button() == Qt::LeftButton) {
            bool doubleClick = afterDoubleClick_;
            afterDoubleClick_ = false;
            // A release away from the control is a click taken back.
            if (!doubleClick && rect().contains(e->position().toPoint())) {
                emitAt(controlLeftButtonUp, e);
            }
        }
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (hasMouseTracking()) emitAt(controlMouseMove, e);
    }

  private:
    void emitAt(int type, QMouseEvent* e) {
        Event ev = controlEvent(number_, type);
        QPoint p = e->position().toPoint();
        ev.x = p.x();
        ev.y = p.y();
        deliverControlEvent(ev);
    }

    int number_;
    bool afterDoubleClick_ = false;
};

// A spin field whose text is set by the program independently of its value, as the
// LIMIT field shows levels cubed while its value is the level count.
class PxSpin : public QWidget {
  public:
    PxSpin(int number, QWidget* parent, int minimum, int maximum)
        : QWidget(parent), number_(number), minimum_(minimum), maximum_(maximum), value_(minimum) {
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        edit = new QLineEdit(this);
        edit->setText(QString::number(value_));
        // A count: digits only. The arrow keys step it as the arrow buttons do.
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
        edit->installEventFilter(this);
        auto* arrows = new QWidget(this);
        auto* column = new QVBoxLayout(arrows);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(0);
        up = new QToolButton(arrows);
        up->setArrowType(Qt::UpArrow);
        down = new QToolButton(arrows);
        down->setArrowType(Qt::DownArrow);
        for (QToolButton* b : {up, down}) {
            b->setFixedWidth(16);
            b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
            b->setAutoRepeat(true);
            column->addWidget(b);
        }
        layout->addWidget(edit, 1);
        layout->addWidget(arrows, 0);
        QObject::connect(up, &QToolButton::clicked, [this]() { step(1); });
        QObject::connect(down, &QToolButton::clicked, [this]() { step(-1); });
        QObject::connect(edit, &QLineEdit::textEdited, [this]() { emitChange(number_); });
    }

    int value() const { return value_; }
    void setValue(int v) { value_ = std::clamp(v, minimum_, maximum_); }
    void setRange(int minimum, int maximum) {
        minimum_ = minimum;
        maximum_ = maximum;
        setValue(value_);
    }
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }

    QLineEdit* edit;
    QToolButton* up;
    QToolButton* down;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == edit && event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Up || key == Qt::Key_Down) {
                if (isEnabled()) step(key == Qt::Key_Up ? 1 : -1);
                return true;
            }
        }
        return QWidget::eventFilter(watched, event);
    }

  private:
    void step(int delta) {
        setValue(value_ + delta);
        edit->setText(QString::number(value_));
        emitChange(number_, delta > 0 ? controlUp : controlDown);
    }

    int number_;
    int minimum_, maximum_, value_;
};

int addControl(int n, QWidget* widget, int kind, int x, int y, int w, int h) {
    WindowRecord* window = windowRecord(controlListWindow);
    if (!window) {
        delete widget;
        return -1;
    }
    if (kind != kindOption) openOptionGroup = nullptr;
    if (n == anyControlNumber) n = freeControlNumber();
    if (controls().count(n)) freeControl(n);
    widget->setParent(window->content);
    widget->setGeometry(x, y, w, h);
    ControlRecord rec;
    rec.widget = widget;
    rec.window = controlListWindow;
    rec.kind = kind;
    controls()[n] = rec;
    widget->show();
    return n;
}

}  // namespace

ControlRecord* controlRecord(int n) {
    auto it = controls().find(n);
    return it == controls().end() ? nullptr : &it->second;
}

void deliverControlEvent(const Event& event) {
    if (ControlRecord* rec = controlRecord(event.object)) {
        // Copy: a callback may unbind itself.
        std::vector<ControlCallback> callbacks = rec->callbacks;
        for (ControlCallback cb : callbacks) cb(event);
    }
    postEvent(event);
}

void bindControlEvent(int control, ControlCallback callback) {
    ControlRecord* rec = controlRecord(control);
    if (!rec) return;
    if (std::find(rec->callbacks.begin(), rec->callbacks.end(), callback) == rec->callbacks.end()) {
        rec->callbacks.push_back(callback);
    }
}

void unbindControlEvent(int control, ControlCallback callback) {
    ControlRecord* rec = controlRecord(control);
    if (!rec) return;
    rec->callbacks.erase(std::remove(rec->callbacks.begin(), rec->callbacks.end(), callback),
                         rec->callbacks.end());
}

void useControlList(int window) {
    controlListWindow = window;
    openOptionGroup = nullptr;
}

int canvasControl(int n, int x, int y, int w, int h) {
    int number = n == anyControlNumber ? freeControlNumber() : n;
    auto* canvas = new PxCanvas(number, nullptr);
    canvas->resizeBuffer(w, h);
    return addControl(number, canvas, kindCanvas, x, y, w, h);
}

int buttonControl(int n, int x, int y, int w, int h, const std::string& text) {
    int number = n == anyControlNumber ? freeControlNumber() : n;
    auto* button = new QPushButton(QString::fromStdString(text));
    QObject::connect(button, &QPushButton::clicked, [number]() { emitChange(number); });
    return addControl(number, button, kindButton, x, y, w, h);
}

int textControl(int n, int x, int y, int w, int h, const std::string& text, bool centred) {
    auto* label = new QLabel(QString::fromStdString(text));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment((centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
    return addControl(n, label, kindText, x, y, w, h);
}

int stringControl(int n, int x, int y, int w, int h, const std::string& text, bool numeric) {
    int number = n == anyControlNumber ? freeControlNumber() : n;
    auto* edit = new QLineEdit(QString::fromStdString(text));
    if (numeric) {
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
    }
    QObject::connect(edit, &QLineEdit::textEdited, [number]() { emitChange(number); });
    return addControl(number, edit, kindString, x, y, w, h);
}

int focusFieldControl(int n, int x, int y, int w, int h, const std::string& text) {
    int number = n == anyControlNumber ? freeControlNumber() : n;
    auto* field = new PxFocusField(number, QString::fromStdString(text));
    return addControl(number, field, kindString, x, y, w, h);
}

int checkBoxControl(int n, int x, int y, int w, int h, const std::string& text) {
    int number = n == anyControlNumber ? freeControlNumber() : n;
    auto* box = new QCheckBox(QString::fromStdString(text));
    QObject::connect(box, &QCheckBox::clicked, [number]() { emitChange(number); });
    return addControl(number, box, kindCheckBox, x, y, w, h);
}

int optionControl(int n, int x, int y, int w, int h, const std::string& text) {
    int number = n == anyControlNumber ? freeControlNumber() : n;
    auto* option = new QRadioButton(QString::fromStdString(text));
    QObject::connect(option, &QRadioButton::clicked, [number]() { emitChange(number); });
    QButtonGroup* group = openOptionGroup;
    int result = addControl(number, option, kindOption, x, y, w, h);
    if (result < 0) return result;
    if (!group) {
        group = new QButtonGroup(option->parent());
        group->setExclusive(true);
    }
    group->addButton(option);
    openOptionGroup = group;
    return result;
}

int comboBoxControl(int n, int x, int y, int w, int h) {
    int number = n == anyControlNumber ? freeControlNumber() : n;
    auto* combo = new QComboBox();
    QObject::connect(combo, &QComboBox::activated, [number]() { emitChange(number); });
    return addControl(number, combo, kindComboBox, x, y, w, h);
}

int spinControl(int n, int x, int y, int w, int h, int minimum, int maximum) {
    int number = n == anyControlNumber ? freeControlNumber() : n;
    auto* spin = new PxSpin(number, nullptr, minimum, maximum);
    return addControl(number, spin, kindSpin, x, y, w, h);
}

int trackBarControl(int n, int x, int y, int w, int h, int minimum, int maximum) {
    int number = n == anyControlNumber ? freeControlNumber() : n;
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setRange(minimum, maximum);
    QObject::connect(slider, &QSlider::valueChanged, [number]() { emitChange(number); });
    return addControl(number, slider, kindTrackBar, x, y, w, h);
}

int frameControl(int n, int x, int y, int w, int h, const std::string& title) {
    auto* frame = new QGroupBox(QString::fromStdString(title));
    int result = addControl(n, frame, kindFrame, x, y, w, h);
    if (result >= 0) frame->lower();  // frames stay behind the controls they hold
    return result;
}

int imageControl(int n, int x, int y, int w, int h, int imageNumber, bool border) {
    int number = n == anyControlNumber ? freeControlNumber() : n;
    auto* label = new PxImageLabel(number, nullptr);
    if (border) label->setFrameStyle(QFrame::Box | QFrame::Plain);
    label->setAlignment(Qt::AlignCenter);
    label->setPixmap(pixmapOf(imageNumber));
    int result = addControl(number, label, kindImage, x, y, w, h);
    if (result >= 0) controlRecord(result)->imageNumber = imageNumber;
    return result;
}

void setControlMouseTracking(int n, bool on) {
    if (ControlRecord* rec = controlRecord(n)) rec->widget->setMouseTracking(on);
}

int boxControl(int n, int x, int y, int w, int h, bool border) {
    auto* box = new QFrame();
    box->setFrameStyle(border ? QFrame::Box | QFrame::Plain : QFrame::NoFrame);
    int result = addControl(n, box, kindBox, x, y, w, h);
    if (result >= 0) box->lower();  // behind the controls placed over it
    return result;
}

int editorControl(int n, int x, int y, int w, int h, bool readOnly) {
    auto* editor = new QPlainTextEdit();
    editor->setReadOnly(readOnly);
    editor->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    return addControl(n, editor, kindEditor, x, y, w, h);
}

bool isControl(int n) {
    return controlRecord(n) != nullptr;
}

int controlWindow(int n) {
    ControlRecord* rec = controlRecord(n);
    return rec ? rec->window : -1;
}

void freeControl(int n) {
    auto it = controls().find(n);
    if (it == controls().end()) return;
    QWidget* w = it->second.widget;
    controls().erase(it);
    w->hide();
    w->deleteLater();
}

void freeControlsOfWindow(int window) {
    std::vector<int> owned;
    for (auto& [n, rec] : controls()) {
        if (rec.window == window) owned.push_back(n);
    }
    for (int n : owned) freeControl(n);
}

void releaseControls() {
    std::vector<int> all;
    for (auto& [n, rec] : controls()) all.push_back(n);
    for (int n : all) freeControl(n);
}

void resizeControl(int n, int x, int y, int w, int h) {
    ControlRecord* rec = controlRecord(n);
    if (!rec) return;
    rec->widget->setGeometry(x, y, w, h);
    if (auto* canvas = dynamic_cast<PxCanvas*>(rec->widget)) canvas->resizeBuffer(w, h);
}

int controlX(int n) {
    ControlRecord* rec = controlRecord(n);
    return rec ? rec->widget->x() : 0;
}
int controlY(int n) {
    ControlRecord* rec = controlRecord(n);
    return rec ? rec->widget->y() : 0;
}
int controlWidth(int n) {
    ControlRecord* rec = controlRecord(n);
    return rec ? rec->widget->width() : 0;
}
int controlHeight(int n) {
    ControlRecord* rec = controlRecord(n);
    return rec ? rec->widget->height() : 0;
}

int controlPreferredWidth(int n) {
    ControlRecord* rec = controlRecord(n);
    return rec ? rec->widget->sizeHint().width() : 0;
}

int controlScreenX(int n) {
    ControlRecord* rec = controlRecord(n);
    return rec ? rec->widget->mapToGlobal(QPoint(0, 0)).x() : 0;
}
int controlScreenY(int n) {
    ControlRecord* rec = controlRecord(n);
    return rec ? rec->widget->mapToGlobal(QPoint(0, 0)).y() : 0;
}

void setControlText(int n, const std::string& text) {
    ControlRecord* rec = controlRecord(n);
    if (!rec) return;
    QString t = QString::fromStdString(text);
    QWidget* w = rec->widget;
    if (auto* b = dynamic_cast<QAbstractButton*>(w))
        b->setText(t);
    else if (auto* l = dynamic_cast<QLabel*>(w))
        l->setText(t);
    else if (auto* e = dynamic_cast<QLineEdit*>(w))
        e->setText(t);
    else if (auto* s = dynamic_cast<PxSpin*>(w))
        s->edit->setText(t);
    else if (auto* g = dynamic_cast<QGroupBox*>(w))
        g->setTitle(t);
    else if (auto* p = dynamic_cast<QPlainTextEdit*>(w))
        p->setPlainText(t.replace("\r\n", "\n"));  // CR LF texts show one break per line
    else if (auto* c = dynamic_cast<QComboBox*>(w))
        c->setCurrentText(t);
}

std::string controlText(int n) {
    ControlRecord* rec = controlRecord(n);
    if (!rec) return {};
    QWidget* w = rec->widget;
    QString t;
    if (auto* b = dynamic_cast<QAbstractButton*>(w))
        t = b->text();
    else if (auto* l = dynamic_cast<QLabel*>(w))
        t = l->text();
    else if (auto* e = dynamic_cast<QLineEdit*>(w))
        t = e->text();
    else if (auto* s = dynamic_cast<PxSpin*>(w))
        t = s->edit->text();
    else if (auto* g = dynamic_cast<QGroupBox*>(w))
        t = g->title();
    else if (auto* p = dynamic_cast<QPlainTextEdit*>(w))
        t = p->toPlainText();
    else if (auto* c = dynamic_cast<QComboBox*>(w))
        t = c->currentText();
    return t.toStdString();
}

void setControlState(int n, int state) {
    ControlRecord* rec = controlRecord(n);
    if (!rec) return;
    QWidget* w = rec->widget;
    if (auto* b = dynamic_cast<QAbstractButton*>(w))
        b->setChecked(state != 0);
    else if (auto* s = dynamic_cast<QSlider*>(w)) {
        QSignalBlocker block(s);  // a program change is not a user event
        s->setValue(state);
    } else if (auto* sp = dynamic_cast<PxSpin*>(w))
        sp->setValue(state);
    else if (auto* c = dynamic_cast<QComboBox*>(w))
        c->setCurrentIndex(state);
}

int controlState(int n) {
    ControlRecord* rec = controlRecord(n);
    if (!rec) return 0;
    QWidget* w = rec->widget;
    if (auto* b = dynamic_cast<QAbstractButton*>(w)) return b->isChecked() ? 1 : 0;
    if (auto* s = dynamic_cast<QSlider*>(w)) return s->value();
    if (auto* sp = dynamic_cast<PxSpin*>(w)) return sp->value();
    if (auto* c = dynamic_cast<QComboBox*>(w)) return c->currentIndex();
    return 0;
}

void disableControl(int n, bool disabled) {
    if (ControlRecord* rec = controlRecord(n)) rec->widget->setEnabled(!disabled);
}

bool controlEnabled(int n) {
    ControlRecord* rec = controlRecord(n);
    return rec && rec->widget->isEnabled();
}

void setControlToolTip(int n, const std::string& text) {
    ControlRecord* rec = controlRecord(n);
    if (!rec) return;
    rec->widget->setToolTip(QString::fromStdString(text));
    // Tool windows are seldom the active window (the histogram never is); their tips
    // must show all the same.
    rec->widget->setAttribute(Qt::WA_AlwaysShowToolTips, true);
}

void setControlColour(int n, uint32_t background) {
    ControlRecord* rec = controlRecord(n);
    if (!rec) return;
    QPalette pal = rec->widget->palette();
    pal.setColor(QPalette::Window, toQColor(background));
    pal.setColor(QPalette::Base, toQColor(background));
    rec->widget->setPalette(pal);
    rec->widget->setAutoFillBackground(true);
}

void setControlTextColour(int n, uint32_t colour) {
    ControlRecord* rec = controlRecord(n);
    if (!rec) return;
    QPalette pal = rec->widget->palette();
    pal.setColor(QPalette::WindowText, toQColor(colour));
    pal.setColor(QPalette::Text, toQColor(colour));
    rec->widget->setPalette(pal);
}

void setControlFont(int n, int font) {
    ControlRecord* rec = controlRecord(n);
    QFont* f = fontObject(font);
    if (rec && f) rec->widget->setFont(*f);
}

void setActiveControl(int n) {
    ControlRecord* rec = controlRecord(n);
    if (!rec) return;
    if (auto* spin = dynamic_cast<PxSpin*>(rec->widget))
        spin->edit->setFocus();
    else
        rec->widget->setFocus();
}

int activeControl() {
    QWidget* focus = QApplication::focusWidget();
    for (auto& [n, rec] : controls()) {
        if (rec.widget == focus || (focus && rec.widget->isAncestorOf(focus))) return n;
    }
    return -1;
}

void addControlItem(int n, const std::string& text) {
    ControlRecord* rec = controlRecord(n);
    if (!rec) return;
    if (auto* c = dynamic_cast<QComboBox*>(rec->widget)) {
        c->addItem(QString::fromStdString(text));
        rec->itemData.push_back(0);
    }
}

void setControlItemData(int n, int item, int64_t data) {
    ControlRecord* rec = controlRecord(n);
    if (!rec || item < 0 || item >= static_cast<int>(rec->itemData.size())) return;
    rec->itemData[item] = data;
}

int64_t controlItemData(int n, int item) {
    ControlRecord* rec = controlRecord(n);
    if (!rec || item < 0 || item >= static_cast<int>(rec->itemData.size())) return 0;
    return rec->itemData[item];
}

void setControlAttribute(int n, int attribute, int value) {
    ControlRecord* rec = controlRecord(n);
    if (!rec) return;
    if (auto* s = dynamic_cast<QSlider*>(rec->widget)) {
        if (attribute == attributeMinimum) s->setMinimum(value);
        if (attribute == attributeMaximum) s->setMaximum(value);
    } else if (auto* sp = dynamic_cast<PxSpin*>(rec->widget)) {
        if (attribute == attributeMinimum) sp->setRange(value, sp->maximum());
        if (attribute == attributeMaximum) sp->setRange(sp->minimum(), value);
    }
}

void setImageControlImage(int n, int imageNumber) {
    ControlRecord* rec = controlRecord(n);
    if (!rec) return;
    if (auto* l = dynamic_cast<QLabel*>(rec->widget)) l->setPixmap(pixmapOf(imageNumber));
    rec->imageNumber = imageNumber;
}
