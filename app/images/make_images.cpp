// Draws the program's pictures and writes them as GIF files beside the program:
//   tallowmere.gif  the splash, 400 x 244
//   angle.gif       the banner's slanted joint, 95 x 87: grey lower-left, red upper-right
//   tallowmereabout.gif  the about window's banner, 354 x 75
// Usage: make_images OUTPUT_FOLDER

#include <QColor>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// ---- a small GIF writer: 256-colour global palette, LZW-compressed image data ------------------

struct BitWriter {
    std::vector<uint8_t> bytes;
    uint32_t acc = 0;
    int bits = 0;
    void Put(int code, int width) {
        acc |= static_cast<uint32_t>(code) << bits;
        bits += width;
        while (bits >= 8) {
            bytes.push_back(static_cast<uint8_t>(acc & 0xff));
            acc >>= 8;
            bits -= 8;
        }
    }
    void Flush() {
        if (bits > 0) bytes.push_back(static_cast<uint8_t>(acc & 0xff));
        acc = 0;
        bits = 0;
    }
};

std::vector<uint8_t> Lzw(const std::vector<uint8_t>& pixels) {
    const int clear = 256, end = 257;
    BitWriter out;
    std::vector<int> dict(4096 * 256, -1);  // (prefix code, byte) -> code
    int next = 258, width = 9;
    out.Put(clear, width);
    int prefix = -1;
    for (uint8_t p : pixels) {
        if (prefix < 0) {
            prefix = p;
            continue;
        }
        int& slot = dict[static_cast<size_t>(prefix) * 256 + p];
        if (slot >= 0) {
            prefix = slot;
            continue;
        }
        out.Put(prefix, width);
        if (next < 4096) {
            slot = next++;
            if (next > (1 << width) && width < 12) ++width;
        } else {
            out.Put(clear, width);
            std::fill(dict.begin(), dict.end(), -1);
            next = 258;
            width = 9;
        }
        prefix = p;
    }
    if (prefix >= 0) out.Put(prefix, width);
    out.Put(end, width);
    out.Flush();
    return out.bytes;
}

// Palette: a 6x6x6 colour cube and a grey ramp; each pixel takes the nearest entry.
std::vector<QRgb> Palette() {
    std::vector<QRgb> pal;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b) pal.push_back(qRgb(r * 51, g * 51, b * 51));
    while (pal.size() < 256) {
        int v = static_cast<int>((pal.size() - 216) * 255 / 39);
        pal.push_back(qRgb(v, v, v));
    }
    pal[255] = qRgb(128, 128, 128);  // the banner's grey exactly
    return pal;
}

uint8_t Nearest(const std::vector<QRgb>& pal, QRgb c) {
    int best = 0, bestDist = 1 << 30;
    for (size_t i = 0; i < pal.size(); ++i) {
        int dr = qRed(pal[i]) - qRed(c), dg = qGreen(pal[i]) - qGreen(c), db = qBlue(pal[i]) - qBlue(c);
        int d = dr * dr + dg * dg + db * db;
        if (d < bestDist) {
            bestDist = d;
            best = static_cast<int>(i);
        }
    }
    return static_cast<uint8_t>(best);
}

bool WriteGif(const QImage& image, const std::string& path) {
    const auto pal = Palette();
    std::vector<uint8_t> pixels;
    pixels.reserve(static_cast<size_t>(image.width()) * static_cast<size_t>(image.height()));
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) pixels.push_back(Nearest(pal, image.pixel(x, y)));

    std::vector<uint8_t> f = {'G', 'I', 'F', '8', '9', 'a'};
    auto u16 = [&f](int v) {
        f.push_back(static_cast<uint8_t>(v & 0xff));
        f.push_back(static_cast<uint8_t>((v >> 8) & 0xff));
    };
    u16(image.width());
    u16(image.height());
    f.push_back(0xF7);  // global colour table of 256 entries
    f.push_back(0);
    f.push_back(0);
    for (QRgb c : pal) {
        f.push_back(static_cast<uint8_t>(qRed(c)));
        f.push_back(static_cast<uint8_t>(qGreen(c)));
        f.push_back(static_cast<uint8_t>(qBlue(c)));
    }
    f.push_back(0x2C);  // image descriptor
    u16(0);
    u16(0);
    u16(image.width());
    u16(image.height());
    f.push_back(0);
    f.push_back(8);  // LZW minimum code size
    const auto data = Lzw(pixels);
    for (size_t i = 0; i < data.size(); i += 255) {
        size_t n = std::min<size_t>(255, data.size() - i);
        f.push_back(static_cast<uint8_t>(n));
        f.insert(f.end(), data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + n));
    }
    f.push_back(0);
    f.push_back(0x3B);

    QFile out(QString::fromStdString(path));
    if (!out.open(QIODevice::WriteOnly)) return false;
    return out.write(reinterpret_cast<const char*>(f.data()), static_cast<qint64>(f.size())) ==
           static_cast<qint64>(f.size());
}

QImage Angle() {
    QImage img(95, 87, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            // Along the diagonal from the top left to the bottom right corner.
            bool lowerLeft = static_cast<double>(y) / img.height() > static_cast<double>(x) / img.width();
            img.setPixel(x, y, lowerLeft ? qRgb(128, 128, 128) : qRgb(255, 0, 0));
        }
    return img;
}

QImage Splash() {
    QImage img(400, 244, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    // Flat colours: a 256-colour picture shows gradients as bands.
    p.fillRect(img.rect(), QColor(0, 51, 153));
    p.fillRect(QRect(0, 140, 400, 104), QColor(0, 102, 204));
    // A laurel wreath, open at the top: leaves up both sides of a circle.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 204, 0));
    const double pi = 3.14159265358979;
    for (int side = -1; side <= 1; side += 2) {
        for (int i = 0; i < 8; ++i) {
            double deg = -80 + i * 20;  // from the bottom up
            double a = deg * pi / 180.0;
            double cx = 200 + side * 50 * std::cos(a), cy = 72 - 50 * std::sin(a);
            p.save();
            p.translate(cx, cy);
            p.rotate(-side * deg);
            p.drawEllipse(QRectF(-6, -12, 12, 24));
            p.restore();
        }
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QColor(255, 255, 255));
    QFont title("WenQuanYi Micro Hei", 17, QFont::Bold);
    p.setFont(title);
    p.drawText(QRect(0, 150, 400, 36), Qt::AlignCenter, QStringLiteral("Varenth省科学技术奖推荐系统"));
    QFont sub("DejaVu Sans", 11);
    p.setFont(sub);
    p.setPen(QColor(255, 204, 0));
    p.drawText(QRect(0, 190, 400, 24), Qt::AlignCenter, QStringLiteral("Tallowmere Plus 2008"));
    p.setPen(QColor(204, 204, 255));
    QFont small("WenQuanYi Micro Hei", 9);
    p.setFont(small);
    p.drawText(QRect(0, 216, 400, 20), Qt::AlignCenter, QStringLiteral("正在连接数据库，请稍候…"));
    p.end();
    return img;
}

// A laurel of two arcs of leaves around (cx, cy), for the splash and the about banner.
void Laurel(QPainter& p, double cx, double cy, double radius, double leaf) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 204, 0));
    for (int side = -1; side <= 1; side += 2) {
        for (int i = 0; i < 7; ++i) {
            double a = (200 + i * 18) * 3.14159 / 180.0;
            double x = cx + side * radius * std::cos(a), y = cy - radius * std::sin(a);
            p.save();
            p.translate(x, y);
            p.rotate(side * (i * 18 + 20));
            p.drawEllipse(QRectF(-leaf / 2, -leaf, leaf, 2 * leaf));
            p.restore();
        }
    }
}

QImage About() {
    QImage img(354, 75, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient band(0, 0, 354, 0);
    band.setColorAt(0, QColor(0, 51, 153));
    band.setColorAt(1, QColor(0, 102, 204));
    p.fillRect(img.rect(), band);
    Laurel(p, 38, 30, 20, 4.5);
    p.setPen(QColor(255, 255, 255));
    QFont title("WenQuanYi Micro Hei", 13, QFont::Bold);
    p.setFont(title);
    p.drawText(QRect(76, 10, 274, 30), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Varenth省科学技术奖推荐系统"));
    QFont sub("DejaVu Sans", 10);
    p.setFont(sub);
    p.setPen(QColor(255, 204, 0));
    p.drawText(QRect(76, 42, 274, 22), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Tallowmere Plus 2008"));
    // A red rule along the foot, as on the main window's banner.
    p.fillRect(QRect(0, 71, 354, 4), QColor(255, 0, 0));
    p.end();
    return img;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_images OUTPUT_FOLDER\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const std::string dir = argv[1];
    if (!WriteGif(Splash(), dir + "/tallowmere.gif") || !WriteGif(Angle(), dir + "/angle.gif") ||
        !WriteGif(About(), dir + "/tallowmereabout.gif")) {
        std::fprintf(stderr, "make_images: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
