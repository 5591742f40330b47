// Fonts, the measures of text in them, and text drawn into images.

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>

#include "toolkit/qt_internal.h"

// ---- Fonts ----------------------------------------------------------------------------------

namespace {

constexpr int firstFreeFont = 10000;

std::map<int, QFont>& fonts() {
    static std::map<int, QFont> records;
    return records;
}

}  // namespace

QFont* fontObject(int n) {
    auto it = fonts().find(n);
    return it == fonts().end() ? nullptr : &it->second;
}

bool loadFont(int n, const std::string& name, int size, int style) {
    if (size <= 0) return false;
    QFont font(QString::fromStdString(name));
    font.setPointSize(size);
    font.setBold(style & fontBold);
    font.setItalic(style & fontItalic);
    font.setUnderline(style & fontUnderline);
    font.setStrikeOut(style & fontStrikeOut);
    fonts()[n] = font;
    return true;
}

int freeFontNumber() {
    int n = firstFreeFont;
    while (fonts().count(n)) ++n;
    return n;
}

void freeFont(int n) {
    fonts().erase(n);
}

void releaseFonts() {
    fonts().clear();
}

void setDefaultFont(int n) {
    if (QFont* f = fontObject(n)) {
        QApplication::setFont(*f);
        // Bars built already learn of the font through posted events; deliver them now so
        // the sizes measured next are the ones the window will have.
        QCoreApplication::sendPostedEvents();
    }
}

int textWidth(int font, const std::string& text) {
    QFont* f = fontObject(font);
    QFontMetrics fm(f ? *f : QApplication::font());
    return fm.horizontalAdvance(QString::fromStdString(text));
}

int textHeight(int font, const std::string&) {
    QFont* f = fontObject(font);
    QFontMetrics fm(f ? *f : QApplication::font());
    return fm.height();
}

void drawText(Image& target, int x, int y, const std::string& text, int font, uint32_t colour) {
    if (target.empty()) return;
    QImage view = wrapImage(target);
    QPainter p(&view);
    QFont* f = fontObject(font);
    p.setFont(f ? *f : QApplication::font());
    p.setPen(toQColor(colour));
    QFontMetrics fm(p.font());
    p.drawText(QPoint(x, y + fm.ascent()), QString::fromStdString(text));
}
