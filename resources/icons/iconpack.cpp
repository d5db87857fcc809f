// Packs the program's icon, as spiffs-icon-art drew it into hicolor/, into
// the containers Windows and macOS want: an .ico for the Windows executable
// and installer, an .icns for the macOS app bundle. Both hold PNG images, as
// every Windows since Vista and every macOS since 10.7 read them.
//   spiffs-icon-pack ico  HICOLOR-FOLDER OUTPUT.ico
//   spiffs-icon-pack icns HICOLOR-FOLDER OUTPUT.icns
#include <QtCore/QBuffer>
#include <QtCore/QByteArray>
#include <QtCore/QDir>
#include <QtCore/QSaveFile>
#include <QtCore/QVector>
#include <QtCore/QtEndian>
#include <QtGui/QImage>

#include <cstdio>

namespace {

constexpr char AppIconFile[] = "spiffs-manager.png";
// The sizes spiffs-icon-art draws.
const int hicolorSizes[] = {16, 32, 48, 64, 128, 256};

struct Picture
{
    int size;
    QByteArray png;
};

QByteArray pngOf(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The drawing is pixel art on a 16-pixel grid: a larger size is the same
// picture with each pixel repeated, exactly as the hicolor sizes are made.
QImage imageOfSize(const QDir &hicolor, int size)
{
    const QString path = hicolor.filePath(QStringLiteral("%1x%1/apps/%2").arg(size).arg(QLatin1String(AppIconFile)));
    QImage image(path);
    if (!image.isNull())
        return image;
    const QImage largest(hicolor.filePath(QStringLiteral("256x256/apps/%1").arg(QLatin1String(AppIconFile))));
    if (largest.isNull())
        return QImage();
    return largest.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

bool picturesOf(const QDir &hicolor, const QVector<int> &sizes, QVector<Picture> &pictures)
{
    for (const int size : sizes) {
        const QImage image = imageOfSize(hicolor, size);
        if (image.isNull() || image.width() != size || image.height() != size) {
            std::fprintf(stderr, "spiffs-icon-pack: no %dx%d picture of %s in %s\n", size, size, AppIconFile,
                         qPrintable(hicolor.path()));
            return false;
        }
        pictures.append(Picture{size, pngOf(image.convertToFormat(QImage::Format_ARGB32))});
    }
    return true;
}

void appendLittle16(QByteArray &out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

void appendLittle32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void appendBig32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    out.append(bytes, 4);
}

// ICONDIR, one ICONDIRENTRY per picture, then the pictures; a width or height
// of 256 is written as 0.
QByteArray icoFile(const QVector<Picture> &pictures)
{
    QByteArray out;
    appendLittle16(out, 0); // reserved
    appendLittle16(out, 1); // an icon, not a cursor
    appendLittle16(out, quint16(pictures.size()));
    quint32 offset = quint32(6 + 16 * pictures.size());
    for (const Picture &picture : pictures) {
        const char side = char(picture.size >= 256 ? 0 : picture.size);
        out.append(side).append(side);
        out.append(char(0)).append(char(0)); // no palette, reserved
        appendLittle16(out, 1);              // colour planes
        appendLittle16(out, 32);             // bits per pixel
        appendLittle32(out, quint32(picture.png.size()));
        appendLittle32(out, offset);
        offset += quint32(picture.png.size());
    }
    for (const Picture &picture : pictures)
        out += picture.png;
    return out;
}

// The PNG element types of an .icns; the @2x types hold the same pixels as
// the plain type of twice the size.
struct IcnsType
{
    const char *type;
    int size;
};
const IcnsType icnsTypes[] = {
    {"icp4", 16}, {"ic11", 32}, {"icp5", 32}, {"ic12", 64}, {"icp6", 64},
    {"ic07", 128}, {"ic13", 256}, {"ic08", 256}, {"ic14", 512}, {"ic09", 512}, {"ic10", 1024},
};

QByteArray icnsFile(const QVector<Picture> &pictures)
{
    QByteArray body;
    for (const IcnsType &type : icnsTypes) {
        for (const Picture &picture : pictures) {
            if (picture.size != type.size)
                continue;
            body.append(type.type, 4);
            appendBig32(body, quint32(8 + picture.png.size()));
            body += picture.png;
        }
    }
    QByteArray out("icns");
    appendBig32(out, quint32(8 + body.size()));
    return out + body;
}

bool write(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        std::fprintf(stderr, "spiffs-icon-pack: cannot write %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    const QByteArray kind = argc == 4 ? QByteArray(argv[1]) : QByteArray();
    if (kind != "ico" && kind != "icns") {
        std::fprintf(stderr, "usage: spiffs-icon-pack ico|icns HICOLOR-FOLDER OUTPUT\n");
        return 2;
    }
    const QDir hicolor(QString::fromLocal8Bit(argv[2]));
    const QString output = QString::fromLocal8Bit(argv[3]);
    QVector<Picture> pictures;
    if (kind == "ico") {
        if (!picturesOf(hicolor, QVector<int>(std::begin(hicolorSizes), std::end(hicolorSizes)), pictures))
            return 1;
        return write(output, icoFile(pictures)) ? 0 : 1;
    }
    if (!picturesOf(hicolor, {16, 32, 64, 128, 256, 512, 1024}, pictures))
        return 1;
    return write(output, icnsFile(pictures)) ? 0 : 1;
}
