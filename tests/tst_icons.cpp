// The Windows .ico and the macOS .icns made at build time from the hicolor
// icons: every size each desktop asks for is there, each is readable by an
// image reader that is not ours, and each shows the same pixels as the
// hicolor icon of its size.
#include <QtCore/QFile>
#include <QtCore/QtEndian>
#include <QtGui/QImage>
#include <QtGui/QImageReader>
#include <QtTest/QtTest>

namespace {

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The drawing at size, as the hicolor theme holds it; 512 and 1024 are the
// 256 picture with each pixel repeated.
QImage hicolorImage(int size)
{
    const int drawn = qMin(size, 256);
    const QImage image(QStringLiteral(HICOLOR_DIR "/%1x%1/apps/spiffs-manager.png").arg(drawn));
    return image.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation).convertToFormat(QImage::Format_ARGB32);
}

bool samePixels(const QImage &image, int size)
{
    return image.size() == QSize(size, size) && image.convertToFormat(QImage::Format_ARGB32) == hicolorImage(size);
}

} // namespace

class TestIcons : public QObject
{
    Q_OBJECT

private slots:
    void icoHoldsEverySize();
    void icnsHoldsEveryType();
};

void TestIcons::icoHoldsEverySize()
{
    const QByteArray ico = contentOf(QStringLiteral(ICO_PATH));
    QVERIFY2(ico.size() > 6, ICO_PATH);
    QCOMPARE(qFromLittleEndian<quint16>(ico.constData() + 2), quint16(1));
    const int count = qFromLittleEndian<quint16>(ico.constData() + 4);

    // What Windows picks from: the list, the taskbar, the title bar, Explorer's views.
    QList<int> sizes;
    for (int entry = 0; entry < count; ++entry) {
        const char *at = ico.constData() + 6 + 16 * entry;
        const int width = quint8(at[0]) == 0 ? 256 : quint8(at[0]);
        QCOMPARE(quint8(at[1]) == 0 ? 256 : quint8(at[1]), width);
        const quint32 length = qFromLittleEndian<quint32>(at + 8);
        const quint32 offset = qFromLittleEndian<quint32>(at + 12);
        QVERIFY(qint64(offset) + length <= ico.size());
        const QImage picture = QImage::fromData(ico.mid(int(offset), int(length)), "PNG");
        QVERIFY2(samePixels(picture, width), qPrintable(QStringLiteral("the %1 pixel entry").arg(width)));
        sizes << width;
    }
    QCOMPARE(sizes, (QList<int>{16, 32, 48, 64, 128, 256}));

    // Qt's own ICO reader, as a second opinion on the container.
    QImageReader reader(QStringLiteral(ICO_PATH), "ico");
    QCOMPARE(reader.imageCount(), count);
    QList<int> read;
    for (int image = 0; image < reader.imageCount(); ++image) {
        QVERIFY(reader.jumpToImage(image));
        const QImage picture = reader.read();
        QVERIFY2(!picture.isNull(), qPrintable(reader.errorString()));
        QVERIFY(samePixels(picture, picture.width()));
        read << picture.width();
    }
    std::sort(read.begin(), read.end());
    QCOMPARE(read, sizes);
}

void TestIcons::icnsHoldsEveryType()
{
    const QByteArray icns = contentOf(QStringLiteral(ICNS_PATH));
    QVERIFY2(icns.size() > 8, ICNS_PATH);
    QCOMPARE(icns.left(4), QByteArray("icns"));
    QCOMPARE(qFromBigEndian<quint32>(icns.constData() + 4), quint32(icns.size()));

    QMap<QByteArray, int> found;
    int at = 8;
    while (at < icns.size()) {
        QVERIFY(at + 8 <= icns.size());
        const QByteArray type = icns.mid(at, 4);
        const quint32 length = qFromBigEndian<quint32>(icns.constData() + at + 4);
        QVERIFY(length > 8 && at + qint64(length) <= icns.size());
        const QImage picture = QImage::fromData(icns.mid(at + 8, int(length) - 8), "PNG");
        QVERIFY2(!picture.isNull(), type.constData());
        QVERIFY2(samePixels(picture, picture.width()), type.constData());
        found.insert(type, picture.width());
        at += int(length);
    }
    // Finder, the Dock and Launchpad at 1x and 2x, up to 1024 pixels.
    const QMap<QByteArray, int> expected = {
            {"icp4", 16},  {"icp5", 32},  {"icp6", 64},  {"ic07", 128},  {"ic08", 256},  {"ic09", 512},
            {"ic10", 1024}, {"ic11", 32}, {"ic12", 64}, {"ic13", 256}, {"ic14", 512},
    };
    QCOMPARE(found, expected);

    // The image formats plugin's reader, as a second opinion on the container.
    if (!QImageReader::supportedImageFormats().contains("icns"))
        QFAIL("Qt's icns reader is missing: install qt5-image-formats-plugins (scripts/setup does)");
    QImageReader reader(QStringLiteral(ICNS_PATH), "icns");
    QVERIFY2(reader.canRead(), qPrintable(reader.errorString()));
    QCOMPARE(reader.imageCount(), expected.size());
    for (int image = 0; image < reader.imageCount(); ++image) {
        QVERIFY(reader.jumpToImage(image));
        const QImage picture = reader.read();
        QVERIFY2(!picture.isNull(), qPrintable(reader.errorString()));
        QVERIFY(samePixels(picture, picture.width()));
    }
}

QTEST_GUILESS_MAIN(TestIcons)
#include "tst_icons.moc"
