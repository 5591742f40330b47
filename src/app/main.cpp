#include <QApplication>

#include "app/startup.h"
#include "toolkit/huge_pages.h"

int main(int argc, char** argv) {
    restartWithHugePages(argv);
    QApplication app(argc, argv);
    // Qt has taken its own options out of argv; what is left is the file to open.
    std::string path = argc > 1 ? argv[1] : "";
    return runPixova(path);
}
