// Writes the program's icon as PNG files for the desktop's icon theme:
//   qmate_icon SIZE FILE [SIZE FILE ...]
#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <cstdlib>

#include "app/UAppIcon.h"

int main(int argc, char** argv) {
    // Painting needs no screen: this runs during the build, also where there is none.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc < 3 || argc % 2 == 0) {
        std::fprintf(stderr, "usage: %s SIZE FILE [SIZE FILE ...]\n", argv[0]);
        return 2;
    }
    for (int i = 1; i + 1 < argc; i += 2) {
        int size = std::atoi(argv[i]);
        if (size <= 0 || !qm::PaintAppIcon(size).save(QString::fromLocal8Bit(argv[i + 1]), "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", argv[i + 1]);
            return 1;
        }
    }
    return 0;
}
