// Build-time tool: writes the program's icon as hicolor theme files, drawn by
// the same code as the window and tray icon, so the installed icons never
// drift from the running program's.
//   render-program-icon OUTDIR   writes OUTDIR/NxN/apps/quillet-mirror.png for
//                                each theme size and
//                                OUTDIR/scalable/apps/quillet-mirror.svg
#include "controls/program_icon.h"

#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>

namespace {

const QString iconName = QStringLiteral("quillet-mirror");

bool writePng(const QString& outDir, int size) {
    const QString dir = QStringLiteral("%1/%2x%2/apps").arg(outDir).arg(size);
    const QString path = dir + QLatin1Char('/') + iconName + QStringLiteral(".png");
    return QDir().mkpath(dir) && qm::drawProgramImage(size).save(path, "PNG");
}

// The large drawing on its 48-unit grid; it scales to any size.
bool writeSvg(const QString& outDir) {
    const QString dir = outDir + QStringLiteral("/scalable/apps");
    if (!QDir().mkpath(dir))
        return false;
    QSvgGenerator svg;
    svg.setFileName(dir + QLatin1Char('/') + iconName + QStringLiteral(".svg"));
    svg.setSize(QSize(48, 48));
    svg.setViewBox(QRect(0, 0, 48, 48));
    svg.setResolution(96); // 48 px at the usual screen density
    svg.setTitle(QStringLiteral("Quillet mirror"));
    QPainter painter;
    if (!painter.begin(&svg))
        return false;
    qm::paintProgramIcon(painter, 48);
    return painter.end();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: render-program-icon OUTDIR\n", stderr);
        return 2;
    }
    // A build machine may have no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    for (int size : {16, 32, 48, 64, 128, 256}) {
        if (!writePng(outDir, size)) {
            std::fprintf(stderr, "render-program-icon: cannot write the %d px icon in %s\n", size,
                         argv[1]);
            return 1;
        }
    }
    if (!writeSvg(outDir)) {
        std::fprintf(stderr, "render-program-icon: cannot write the scalable icon in %s\n",
                     argv[1]);
        return 1;
    }
    return 0;
}
