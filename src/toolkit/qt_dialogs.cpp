// Dialogs (Qt and scripted) and the clipboard.

#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QMessageBox>
#include <QStringList>
#include <cstring>

#include "toolkit/qt_internal.h"

namespace {

// Dialogs belong to the active window, or to the program's first window when another
// application is active, so they never open ownerless.
QWidget* activeParent() {
    if (QWidget* active = QApplication::activeWindow()) return active;
    for (int n = 0; n < 64; ++n) {
        if (WindowRecord* rec = windowRecord(n)) return rec->content->window();
    }
    return nullptr;
}

// "label|pattern|label|pattern" -> Qt filters "label (p1 p2)".
QStringList qtFilters(const std::string& filters) {
    QStringList parts = QString::fromStdString(filters).split('|');
    QStringList result;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
            patterns << (p.trimmed() == "*.*" ? QString("*") : p.trimmed());
        }
        result << QString("%1 (%2)").arg(parts[i], patterns.join(' '));
    }
    return result;
}

class QtDialogs : public Dialogs {
  public:
    int messageBox(const std::string& title, const std::string& text, int buttons) override {
        QMessageBox box(activeParent());
        box.setWindowTitle(QString::fromStdString(title));
        box.setText(QString::fromStdString(text));
        if (buttons == buttonsYesNo) {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::No);
            return box.exec() == QMessageBox::Yes ? answerYes : answerNo;
        }
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return answerOk;
    }

    std::string openFile(const std::string& title, const std::string& initialPath,
                         const std::string& filters, int& filterIndex) override {
        return fileDialog(false, title, initialPath, filters, filterIndex);
    }

    std::string saveFile(const std::string& title, const std::string& defaultPath,
                         const std::string& filters, int& filterIndex) override {
        return fileDialog(true, title, defaultPath, filters, filterIndex);
    }

    int64_t colourPicker(uint32_t initial) override {
        QColor c = QColorDialog::getColor(toQColor(initial), activeParent());
        if (!c.isValid()) return -1;
        return rgb(c.red(), c.green(), c.blue());
    }

    FontChoice fontPicker(const FontChoice& initial) override {
        bool ok = false;
        QFont f = QFontDialog::getFont(&ok, fontPickerStart(initial), activeParent());
        FontChoice choice = initial;
        if (!ok) return choice;
        choice.chosen = true;
        choice.name = f.family().toStdString();
        choice.size = f.pointSize();
        choice.style = (f.bold() ? fontBold : 0) | (f.italic() ? fontItalic : 0) |
                       (f.underline() ? fontUnderline : 0) | (f.strikeOut() ? fontStrikeOut : 0);
        return choice;
    }

  private:
    std::string fileDialog(bool save, const std::string& title, const std::string& path,
                           const std::string& filters, int& filterIndex) {
        QStringList list = qtFilters(filters);
        QFileDialog dialog(activeParent(), QString::fromStdString(title));
        dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        // The program asks its own overwrite question.
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
        dialog.setNameFilters(list);
        if (filterIndex >= 0 && filterIndex < list.size())
            dialog.selectNameFilter(list[filterIndex]);
        QString start = QString::fromStdString(path);
        if (start.isEmpty() || start.endsWith('/')) {
            dialog.setDirectory(QString::fromStdString(dialogStartFolder(path)));
        } else {
            QFileInfo info(start);
            dialog.setDirectory(
                QString::fromStdString(dialogStartFolder(info.absolutePath().toStdString())));
            dialog.selectFile(info.fileName());
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        int chosen = static_cast<int>(list.indexOf(dialog.selectedNameFilter()));
        if (chosen >= 0) filterIndex = chosen;
        return dialog.selectedFiles().first().toStdString();
    }
};

QtDialogs qtDialogs;
Dialogs* current = &qtDialogs;

}  // namespace

QFont fontPickerStart(const FontChoice& initial) {
    QFont start(QString::fromStdString(initial.name), initial.size > 0 ? initial.size : 10);
    start.setBold(initial.style & fontBold);
    start.setItalic(initial.style & fontItalic);
    start.setUnderline(initial.style & fontUnderline);
    start.setStrikeOut(initial.style & fontStrikeOut);
    // A name the system maps to another family ("Arial" to Liberation Sans) is not in the
    // picker's list, which would start at its first family instead: OK without a change
    // would then switch fonts.
    const QStringList families = QFontDatabase::families();
    if (!families.contains(start.family())) {
        const QString actual = QFontInfo(start).family();
        if (families.contains(actual)) start.setFamily(actual);
    }
    return start;
}

std::string dialogStartFolder(const std::string& folder) {
    // A folder that is gone (or a ~/Pictures never made) would leave the dialog in the
    // working folder, wherever the program was started from.
    QString path = QDir::cleanPath(QString::fromStdString(folder));
    while (!path.isEmpty() && QDir::isAbsolutePath(path)) {
        if (QFileInfo(path).isDir()) return path.toStdString();
        const QString up = QFileInfo(path).path();
        if (up == path) break;
        path = up;
    }
    return QDir::homePath().toStdString();
}

Dialogs& dialogs() {
    return *current;
}

void setDialogs(Dialogs* implementation) {
    current = implementation ? implementation : &qtDialogs;
}

// ---- Scripted dialogs -----------------------------------------------------------------------

int ScriptedDialogs::messageBox(const std::string& title, const std::string& text, int buttons) {
    messages.push_back({title, text, buttons});
    if (messageAnswers.empty()) return buttons == buttonsYesNo ? answerNo : answerOk;
    int answer = messageAnswers.front();
    messageAnswers.erase(messageAnswers.begin());
    return answer;
}

std::string ScriptedDialogs::openFile(const std::string& title, const std::string& initialPath,
                                      const std::string& filters, int& filterIndex) {
    openRequests.push_back({title, initialPath, filters, filterIndex});
    if (fileAnswers.empty()) return {};
    FileAnswer a = fileAnswers.front();
    fileAnswers.erase(fileAnswers.begin());
    if (!a.path.empty()) filterIndex = a.filterIndex;
    return a.path;
}

std::string ScriptedDialogs::saveFile(const std::string& title, const std::string& defaultPath,
                                      const std::string& filters, int& filterIndex) {
    saveRequests.push_back({title, defaultPath, filters, filterIndex});
    if (fileAnswers.empty()) return {};
    FileAnswer a = fileAnswers.front();
    fileAnswers.erase(fileAnswers.begin());
    if (!a.path.empty()) filterIndex = a.filterIndex;
    return a.path;
}

int64_t ScriptedDialogs::colourPicker(uint32_t initial) {
    colourRequests.push_back(initial);
    if (colourAnswers.empty()) return -1;
    int64_t a = colourAnswers.front();
    colourAnswers.erase(colourAnswers.begin());
    return a;
}

FontChoice ScriptedDialogs::fontPicker(const FontChoice& initial) {
    if (fontAnswers.empty()) return initial;
    FontChoice a = fontAnswers.front();
    fontAnswers.erase(fontAnswers.begin());
    return a;
}

// ---- Clipboard ------------------------------------------------------------------------------

bool setClipboardImage(const Image& image) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard || image.empty()) return false;
    QImage view(reinterpret_cast<const uchar*>(image.pixels.data()), image.width, image.height,
                image.width * 4,
                image.depth == 32 ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888);
    clipboard->setImage(view.copy());
    return true;
}

Image clipboardImage() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return Image();
    QImage q = clipboard->image();
    if (q.isNull() || !imageSizeAllowed(q.width(), q.height())) return Image();
    q = q.convertToFormat(QImage::Format_RGBA8888);
    Image image(q.width(), q.height(), 32);
    for (int y = 0; y < q.height(); ++y) {
        std::memcpy(image.row(y), q.constScanLine(y), static_cast<size_t>(q.width()) * 4);
    }
    return image;
}
