// Makes the program's icon from its splash picture: the wreath on its blue ground, cut square and
// scaled to each size the desktop's icon theme asks for.
// Usage: make_icon SPLASH.gif OUTPUT_FOLDER SIZE...   writes OUTPUT_FOLDER/SIZE.png for each SIZE

#include <QGuiApplication>
#include <QImage>
#include <QString>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: make_icon SPLASH.gif OUTPUT_FOLDER SIZE...\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QImage splash(QString::fromLocal8Bit(argv[1]));
    // The wreath's leaves reach 62 pixels out from its centre (200, 72); the square keeps a margin.
    const QRect wreath(200 - 68, 72 - 68, 136, 136);
    if (splash.isNull() || !splash.rect().contains(wreath)) {
        std::fprintf(stderr, "make_icon: %s is not the splash picture\n", argv[1]);
        return 1;
    }
    const QImage square = splash.copy(wreath).convertToFormat(QImage::Format_RGB32);
    for (int i = 3; i < argc; ++i) {
        const int size = QString::fromLocal8Bit(argv[i]).toInt();
        const QString path = QString::fromLocal8Bit(argv[2]) + "/" + QString::number(size) + ".png";
        if (size <= 0 ||
            !square.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(path)) {
            std::fprintf(stderr, "make_icon: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
