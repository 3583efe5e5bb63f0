// Renders the program's picture for the desktop's icon theme: PNG files from
// 16 to 256 pixels and one scalable SVG, all from the drawing the windows use.
//
//   dorsanti-icons OUTPUT_FOLDER
//
// writes OUTPUT_FOLDER/hicolor/<N>x<N>/apps/org.dorsanti.dorsanti.png and
// OUTPUT_FOLDER/hicolor/scalable/apps/org.dorsanti.dorsanti.svg.

#include "Icons.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <QTextStream>

namespace {

const QString kName = QStringLiteral("org.dorsanti.dorsanti");

bool makeFolder(const QString& folder) {
    return QDir().mkpath(folder);
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream err(stderr);
    if (args.size() != 2) {
        err << "usage: dorsanti-icons OUTPUT_FOLDER\n";
        return 2;
    }
    const QString root = args[1] + QStringLiteral("/hicolor/");

    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = root + QStringLiteral("%1x%1/apps").arg(size);
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.scale(size / 32.0, size / 32.0);
        Icons::paintApplication(p);
        p.end();
        if (!makeFolder(folder) || !image.save(folder + QLatin1Char('/') + kName + ".png")) {
            err << "dorsanti-icons: cannot write the " << size << " px picture in " << folder
                << "\n";
            return 1;
        }
    }

    const QString folder = root + QStringLiteral("scalable/apps");
    QSvgGenerator svg;
    svg.setFileName(folder + QLatin1Char('/') + kName + ".svg");
    svg.setSize(QSize(32, 32));
    svg.setViewBox(QRect(0, 0, 32, 32));
    svg.setTitle(QStringLiteral("Dorsanti"));
    if (!makeFolder(folder)) {
        err << "dorsanti-icons: cannot make " << folder << "\n";
        return 1;
    }
    QPainter p;
    if (!p.begin(&svg)) {
        err << "dorsanti-icons: cannot write " << svg.fileName() << "\n";
        return 1;
    }
    Icons::paintApplication(p);
    p.end();
    return 0;
}
