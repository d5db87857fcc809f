#include "core/catalogueformat.h"
#include "catalogue/filelisting.h"

#include <QtTest/QTest>

using namespace CatalogueFormat;

Q_DECLARE_METATYPE(CatalogueFormat::MemoryFigures)

class CatalogueFormatTest : public QObject
{
    Q_OBJECT

private slots:
    void memoryReply_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<quint32>("total");
        QTest::addColumn<quint32>("used");
        QTest::addColumn<quint32>("free");
        QTest::newRow("4096/1024") << QByteArray::fromHex("0000100000000400") << 4096u << 1024u << 3072u;
        QTest::newRow("high bytes") << QByteArray::fromHex("0012f800000000ff") << 1243136u << 255u << 1242881u;
        QTest::newRow("empty device") << QByteArray::fromHex("0000000000000000") << 0u << 0u << 0u;
        // A full receiver's own report: no room, never a wrapped figure.
        QTest::newRow("used above total is none free")
                << QByteArray::fromHex("0000006400000065") << 100u << 101u << 0u;
        QTest::newRow("surplus ignored")
                << QByteArray::fromHex("0000100000000400ffff") << 4096u << 1024u << 3072u;
    }
    void memoryReply()
    {
        QFETCH(QByteArray, reply);
        const MemoryFigures figures = decodeMemoryReply(reply);
        QTEST(figures.totalBytes, "total");
        QTEST(figures.usedBytes, "used");
        QTEST(freeBytes(figures), "free");
    }

    // A report that cannot be the receiver's, in the words both programs
    // show; one that fits has no problem.
    void memoryReportFits_data()
    {
        QTest::addColumn<quint32>("total");
        QTest::addColumn<quint32>("used");
        QTest::addColumn<QString>("problem");
        QTest::newRow("fits") << 1318001u << 60928u << "";
        QTest::newRow("empty file system") << 0u << 0u << "";
        QTest::newRow("full") << 4096u << 4096u << "";
        QTest::newRow("the largest flash") << MaxFlashBytes << MaxFlashBytes << "";
        QTest::newRow("full, with the spare blocks counted") << 1318001u << 1318001u + 8448u << "";
        QTest::newRow("one byte beyond the spare blocks") << 1318001u << 1318001u + 8449u
                                                          << "1326450 bytes used of a total of 1318001";
        QTest::newRow("the largest flash, full") << MaxFlashBytes << MaxFlashBytes + 8448u << "";
        QTest::newRow("a download's bytes read as one") << 504095478u << 3635630197u
                                                        << "a total of 504095478 bytes, more than any receiver's flash holds";
        QTest::newRow("just beyond any flash") << MaxFlashBytes + 1 << 0u
                                               << "a total of 16777217 bytes, more than any receiver's flash holds";
        QTest::newRow("all ones") << 0xFFFFFFFFu << 0xFFFFFFFFu
                                  << "a total of 4294967295 bytes, more than any receiver's flash holds";
    }
    void memoryReportFits()
    {
        QFETCH(quint32, total);
        QFETCH(quint32, used);
        QTEST(memoryReportProblem(MemoryFigures{total, used}), "problem");
    }

    void gauge_data()
    {
        QTest::addColumn<quint32>("total");
        QTest::addColumn<quint32>("used");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << 4096u << 1024u << 4096 << 1024;
        QTest::newRow("zero capacity") << 0u << 0u << 0 << 0;
        QTest::newRow("largest plain") << 2147483647u << 2147483647u << 2147483647 << 2147483647;
        QTest::newRow("above int range halves both") << 4294967295u << 2147483648u << 2147483647 << 1073741824;
        QTest::newRow("just above int range") << 2147483648u << 0u << 1073741824 << 0;
        QTest::newRow("used above total is a full bar") << 100u << 101u << 100 << 100;
    }
    void gauge()
    {
        QFETCH(quint32, total);
        QFETCH(quint32, used);
        const GaugeSetting setting = gaugeSetting(MemoryFigures{total, used});
        QTEST(setting.maximum, "maximum");
        QTEST(setting.value, "value");
    }

    void listingEntries_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QList<QByteArray>>("names");
        QTest::addColumn<QList<quint32>>("sizes");
        QTest::addColumn<bool>("malformed");
        QTest::newRow("a.txt") << QByteArray::fromHex("0000000500000005") + "a.txt"
                               << QList<QByteArray>{"a.txt"} << QList<quint32>{5} << false;
        QTest::newRow("only last length byte counts")
                << QByteArray::fromHex("0000010500000007") + "b.txt" << QList<QByteArray>{"b.txt"}
                << QList<quint32>{7} << false;
        QTest::newRow("largest size") << QByteArray::fromHex("00000001ffffffff") + "x" << QList<QByteArray>{"x"}
                                      << QList<quint32>{4294967295u} << false;
        QTest::newRow("empty name") << QByteArray::fromHex("0000000000000003") << QList<QByteArray>{""}
                                    << QList<quint32>{3} << false;
        QTest::newRow("two in order")
                << QByteArray::fromHex("0000000100000001") + "z" + QByteArray::fromHex("0000000200000002") + "ab"
                << QList<QByteArray>{"z", "ab"} << QList<quint32>{1, 2} << false;
        QTest::newRow("name runs past the end keeps whole rows")
                << QByteArray::fromHex("0000000100000001") + "z" + QByteArray::fromHex("0000000900000002") + "ab"
                << QList<QByteArray>{"z"} << QList<quint32>{1} << true;
        QTest::newRow("header cut short") << QByteArray::fromHex("0000000100000001") + "z" + QByteArray::fromHex("0000")
                                          << QList<QByteArray>{"z"} << QList<quint32>{1} << true;
        QTest::newRow("nothing") << QByteArray() << QList<QByteArray>{} << QList<quint32>{} << false;
    }
    void listingEntries()
    {
        QFETCH(QByteArray, body);
        QFETCH(QList<QByteArray>, names);
        QFETCH(QList<quint32>, sizes);
        const Listing listing = parseListingEntries(body);
        QCOMPARE(listing.entries.size(), names.size());
        for (int i = 0; i < names.size(); ++i) {
            QCOMPARE(listing.entries.at(i).name, names.at(i));
            QCOMPARE(listing.entries.at(i).size, sizes.at(i));
        }
        QTEST(listing.malformed, "malformed");
    }

    void nameText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii") << QByteArray("song.mp3") << QStringLiteral("song.mp3");
        QTest::newRow("utf-8") << QByteArray("r\xc3\xa9sum\xc3\xa9.txt") << QString::fromUtf8("résumé.txt");
        QTest::newRow("three bytes") << QByteArray("\xe2\x82\xac") << QString(QChar(0x20AC));
        QTest::newRow("four bytes") << QByteArray("\xf0\x9f\x93\xbb") << QString::fromUtf8("\xf0\x9f\x93\xbb");
        QTest::newRow("lone high byte is latin-1") << QByteArray("caf\xe9") << QString::fromLatin1("caf\xe9");
        QTest::newRow("cut sequence") << QByteArray("a\xc3") << QString::fromLatin1("a\xc3");
        QTest::newRow("overlong") << QByteArray("\xc0\xaf") << QString::fromLatin1("\xc0\xaf");
        QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << QString::fromLatin1("\xed\xa0\x80");
        QTest::newRow("above unicode") << QByteArray("\xf4\x90\x80\x80") << QString::fromLatin1("\xf4\x90\x80\x80");
        QTest::newRow("valid after invalid") << QByteArray("\xff\xc3\xa9") << QString::fromUtf8("\xc3\xbf\xc3\xa9");
    }
    void nameText()
    {
        QFETCH(QByteArray, bytes);
        QTEST(deviceNameText(bytes), "text");
    }

    void extensionAndIcon_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("icon");
        const auto row = [](const char *name, const char *type, const char *icon) {
            QTest::newRow(name) << QString::fromUtf8(name) << QString::fromUtf8(type)
                                << QStringLiteral(":/new/icons/%1.png").arg(QLatin1String(icon));
        };
        row("readme.txt", "txt", "text");
        row("Photo.JPG", "jpg", "picture");
        row("archive.tar.gz", "tar", "unknown");
        row("config.json.bak", "json", "unknown");
        row("Song.MP3", "mp3", "music");
        row("index.HTML", "html", "world");
        row("page.htm", "htm", "world");
        row("network.wifi", "wifi", "wifi");
        row("boot.bin", "bin", "unknown");
        row("README", "", "unknown");
        row(".hidden", "", "unknown");
        row("/.cfg", "cfg", "unknown");
        row("backup.txt.old", "txt", "text");
        row("a..b", "", "unknown");
        row("a.", "", "unknown");
        row("app.js", "js", "engine");
        row("set.ini", "ini", "engine");
        row("style.css", "css", "engine");
        row("data.xml", "xml", "engine");
        row("logo.bmp", "bmp", "picture");
        row("logo.png", "png", "picture");
        row("tune.wav", "wav", "music");
        row("tune.mid", "mid", "music");
    }
    void extensionAndIcon()
    {
        QFETCH(QString, name);
        QFETCH(QString, type);
        QCOMPARE(fileExtension(name), type);
        QTEST(iconPathForType(type), "icon");
    }
};

QTEST_APPLESS_MAIN(CatalogueFormatTest)
#include "tst_catalogueformat.moc"
