// Makes the program's icon from its splash picture: the wreath on its blue ground, cut square and
// scaled to each size the desktop's icon theme asks for.
// Usage: make_icon SPLASH.gif OUTPUT_FOLDER SIZE... [--ico NAME]
//   writes OUTPUT_FOLDER/SIZE.png for each SIZE; with --ico also OUTPUT_FOLDER/NAME, a Windows icon
//   file that holds every size

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QString>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

void Put(QByteArray& out, unsigned value, int bytes) {
    for (int k = 0; k < bytes; ++k) out.append(static_cast<char>((value >> (8 * k)) & 0xFF));
}

// An icon file whose images are PNG data, as Windows has read them since Vista.
QByteArray IconFile(const std::vector<std::pair<int, QByteArray>>& images) {
    QByteArray out;
    Put(out, 0, 2);  // reserved
    Put(out, 1, 2);  // an icon
    Put(out, static_cast<unsigned>(images.size()), 2);
    unsigned offset = 6 + 16 * static_cast<unsigned>(images.size());
    for (const auto& [size, png] : images) {
        Put(out, size >= 256 ? 0 : static_cast<unsigned>(size), 1);  // 0 stands for 256
        Put(out, size >= 256 ? 0 : static_cast<unsigned>(size), 1);
        Put(out, 0, 1);   // no palette
        Put(out, 0, 1);   // reserved
        Put(out, 1, 2);   // colour planes
        Put(out, 32, 2);  // bits per pixel
        Put(out, static_cast<unsigned>(png.size()), 4);
        Put(out, offset, 4);
        offset += static_cast<unsigned>(png.size());
    }
    for (const auto& image : images) out.append(image.second);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: make_icon SPLASH.gif OUTPUT_FOLDER SIZE... [--ico NAME]\n");
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
    const QString folder = QString::fromLocal8Bit(argv[2]);
    QString icon;
    std::vector<std::pair<int, QByteArray>> images;
    for (int i = 3; i < argc; ++i) {
        if (QString::fromLocal8Bit(argv[i]) == "--ico" && i + 1 < argc) {
            icon = folder + "/" + QString::fromLocal8Bit(argv[++i]);
            continue;
        }
        const int size = QString::fromLocal8Bit(argv[i]).toInt();
        const QString path = folder + "/" + QString::number(size) + ".png";
        const QImage scaled = square.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QByteArray png;
        QBuffer buffer(&png);
        if (size <= 0 || !scaled.save(&buffer, "PNG") || !scaled.save(path)) {
            std::fprintf(stderr, "make_icon: cannot write %s\n", qPrintable(path));
            return 1;
        }
        images.emplace_back(size, png);
    }
    if (!icon.isEmpty()) {
        QFile file(icon);
        if (!file.open(QIODevice::WriteOnly) || file.write(IconFile(images)) < 0) {
            std::fprintf(stderr, "make_icon: cannot write %s\n", qPrintable(icon));
            return 1;
        }
    }
    return 0;
}
