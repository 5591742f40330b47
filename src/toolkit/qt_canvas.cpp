// The canvas control: a buffer the program draws into, shown one word to a device pixel,
// and the mouse and keys over it.

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "toolkit/qt_internal.h"

// ---- Canvas ---------------------------------------------------------------------------------

PxCanvas::PxCanvas(int number, QWidget* parent) : QWidget(parent), number_(number) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PxCanvas::resizeBuffer(int w, int h) {
    const double s = devicePixelRatioF();
    const int bw = std::max(static_cast<int>(std::lround(w * s)), 1);
    const int bh = std::max(static_cast<int>(std::lround(h * s)), 1);
    if (bw == buffer.width && bh == buffer.height) return;
    buffer = Image(bw, bh, 24, 0);
}

void PxCanvas::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const double s = devicePixelRatioF();
    if (!buffer.empty()) {
        QImage image = wrapImage(buffer);
        image.setDevicePixelRatio(s);
        // Qt clips to the region being repainted.
        p.drawImage(QPointF(0, 0), image);
    }
    const int bw = static_cast<int>(buffer.width / s), bh = static_cast<int>(buffer.height / s);
    if (bw < width()) p.fillRect(bw, 0, width() - bw, height(), Qt::black);
    if (bh < height()) p.fillRect(0, bh, width(), height() - bh, Qt::black);
}

void PxCanvas::wheelEvent(QWheelEvent* e) {
    Event ev = controlEvent(number_, controlWheel);
    const QPointF p = e->position() * devicePixelRatioF();
    ev.x = static_cast<int>(std::floor(p.x()));
    ev.y = static_cast<int>(std::floor(p.y()));
    const QPoint angle = e->angleDelta();
    ev.wheelHorizontal = angle.y() == 0 && angle.x() != 0;
    ev.delta = ev.wheelHorizontal ? angle.x() : angle.y();
    if (e->modifiers() & Qt::ShiftModifier) ev.modifiers |= modifierShift;
    if (e->modifiers() & Qt::ControlModifier) ev.modifiers |= modifierCtrl;
    e->accept();
    deliverControlEvent(ev);
}

void PxCanvas::mousePressEvent(QMouseEvent* e) {
    mouse(e, true);
}

void PxCanvas::mouseReleaseEvent(QMouseEvent* e) {
    mouse(e, false);
}

void PxCanvas::mouseMoveEvent(QMouseEvent* e) {
    track(e);
    // A release can be lost to a pop-up menu or a modal dialog opened mid-drag; the
    // program then hears of it before the move, so no drag outlives its button.
    if (leftDown_ && !(e->buttons() & Qt::LeftButton)) {
        leftDown_ = false;
        Event up = controlEvent(number_, controlLeftButtonUp);
        up.x = mouseX;
        up.y = mouseY;
        deliverControlEvent(up);
    }
    Event ev = controlEvent(number_, controlMouseMove);
    ev.x = mouseX;
    ev.y = mouseY;
    deliverControlEvent(ev);
}

void PxCanvas::keyPressEvent(QKeyEvent* e) {
    Event ev = controlEvent(number_, controlKeyDown);
    switch (e->key()) {
        case Qt::Key_Escape:
            ev.key = 27;
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            ev.key = 13;
            break;
        default:
            ev.key = e->text().isEmpty() ? e->key() : e->text().at(0).unicode();
            break;
    }
    deliverControlEvent(ev);
}

void PxCanvas::track(QMouseEvent* e) {
    const QPointF p = e->position() * devicePixelRatioF();
    mouseX = static_cast<int>(std::floor(p.x()));
    mouseY = static_cast<int>(std::floor(p.y()));
}

void PxCanvas::mouse(QMouseEvent* e, bool down) {
    track(e);
    int type;
    if (e->button() == Qt::LeftButton) {
        type = down ? controlLeftButtonDown : controlLeftButtonUp;
        leftDown_ = down;
    } else if (e->button() == Qt::RightButton) {
        type = down ? controlRightButtonDown : controlRightButtonUp;
    } else {
        return;
    }
    if (down) setFocus(Qt::MouseFocusReason);
    Event ev = controlEvent(number_, type);
    ev.x = mouseX;
    ev.y = mouseY;
    deliverControlEvent(ev);
}

Image* canvasBuffer(int n) {
    auto* canvas = widgetAs<PxCanvas>(n);
    return canvas ? &canvas->buffer : nullptr;
}

void updateCanvas(int n) {
    if (auto* canvas = widgetAs<PxCanvas>(n)) canvas->update();
}

void setCanvasCursor(int n, int cursor) {
    auto* canvas = widgetAs<PxCanvas>(n);
    if (!canvas) return;
    canvas->cursorShape = cursor;
    switch (cursor) {
        case cursorCross:
            canvas->setCursor(Qt::CrossCursor);
            break;
        case cursorHand:
            canvas->setCursor(Qt::PointingHandCursor);
            break;
        case cursorArrows:
            canvas->setCursor(Qt::SizeAllCursor);
            break;
        default:
            canvas->setCursor(Qt::ArrowCursor);
            break;
    }
}

int canvasCursor(int n) {
    auto* canvas = widgetAs<PxCanvas>(n);
    return canvas ? canvas->cursorShape : -1;
}

int canvasMouseX(int n) {
    auto* canvas = widgetAs<PxCanvas>(n);
    return canvas ? canvas->mouseX : 0;
}

int canvasMouseY(int n) {
    auto* canvas = widgetAs<PxCanvas>(n);
    return canvas ? canvas->mouseY : 0;
}

bool isCanvas(int n) {
    return widgetAs<PxCanvas>(n) != nullptr;
}

double canvasScale(int n) {
    auto* canvas = widgetAs<PxCanvas>(n);
    return canvas ? canvas->devicePixelRatioF() : 1.0;
}

void setCanvasImage(int n, int imageNumber) {
    if (auto* canvas = widgetAs<PxCanvas>(n)) canvas->shownImage = imageNumber;
}

int canvasImage(int n) {
    auto* canvas = widgetAs<PxCanvas>(n);
    return canvas ? canvas->shownImage : -1;
}
