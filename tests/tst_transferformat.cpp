#include "core/flashroom.h"
#include "core/transferformat.h"
#include "core/wireformat.h"

#include <QtTest/QTest>

using namespace TransferFormat;

class TransferFormatTest : public QObject
{
    Q_OBJECT

private slots:
    // The chunks an upload is planned in are the chunks it is sent in.
    void uploadChunkCount_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<qint64>("chunks");
        QTest::newRow("empty") << 0 << qint64(0);
        QTest::newRow("one byte") << 1 << qint64(1);
        QTest::newRow("one chunk, full") << 32 << qint64(1);
        QTest::newRow("a byte more") << 33 << qint64(2);
        QTest::newRow("many") << 1000 << qint64(32);
    }
    void uploadChunkCount()
    {
        QFETCH(int, size);
        QTEST(TransferFormat::uploadChunkCount(size), "chunks");
        const QByteArray content(size, 'c');
        qint64 offset = 0;
        qint64 chunks = 0;
        while (TransferFormat::nextUploadFrame(content, offset).at(16) == WireFormat::Letter::Upload)
            ++chunks;
        QCOMPARE(chunks, TransferFormat::uploadChunkCount(size));
    }

    void percentages()
    {
        QCOMPARE(downloadPercent(100, 256), 39);
        QCOMPARE(downloadPercent(200, 256), 78);
        QCOMPARE(downloadPercent(256, 256), 100);
        QCOMPARE(downloadPercent(300, 256), 100);
        QCOMPARE(downloadPercent(0, 0), 100);
        // 64-bit: no overflow for the largest sizes a reply may announce.
        QCOMPARE(downloadPercent(0x7FFFFFFE, 0x7FFFFFFF), 99);
        QCOMPARE(downloadPercent(0x40000000, 0x7FFFFFFF), 50);

        const QList<qint64> remaining = {100, 68, 36, 4, 0};
        const QList<int> shown = {0, 32, 64, 96, 100};
        for (int i = 0; i < remaining.size(); ++i)
            QCOMPARE(uploadPercent(remaining.at(i), 100), shown.at(i));
        QCOMPARE(uploadPercent(0, 0), 100);
        QCOMPARE(uploadPercent(0x7FFFFFFF, 0x7FFFFFFF), 0);
    }

    void localNames_data()
    {
        QTest::addColumn<QString>("deviceName");
        QTest::addColumn<QString>("localName");
        const auto row = [](const char *tag, const QString &device, const QString &local) {
            QTest::newRow(tag) << device << local;
        };
        row("plain", QStringLiteral("a.txt"), QStringLiteral("a.txt"));
        row("folder flattened", QStringLiteral("dir/a.txt"), QStringLiteral("dir-a.txt"));
        row("backslash", QStringLiteral("a\\b.txt"), QStringLiteral("a-b.txt"));
        row("windows specials", QStringLiteral("a:b*c?d\"e<f>g|h"), QStringLiteral("a-b-c-d-e-f-g-h"));
        row("control characters", QString::fromLatin1("a\x01\tb\x7f"), QStringLiteral("a--b-"));
        row("empty", QString(), QStringLiteral("-"));
        row("dot", QStringLiteral("."), QStringLiteral("-."));
        row("dot dot", QStringLiteral(".."), QStringLiteral("-.."));
        row("dot dot slash", QStringLiteral("../x"), QStringLiteral("..-x"));
        row("slash only", QStringLiteral("/"), QStringLiteral("-"));
        row("device name", QStringLiteral("CON"), QStringLiteral("-CON"));
        row("device name with type", QStringLiteral("com1.txt"), QStringLiteral("-com1.txt"));
        row("longer than a device name", QStringLiteral("CONSOLE.txt"), QStringLiteral("CONSOLE.txt"));
        row("hidden stays", QStringLiteral(".hidden"), QStringLiteral(".hidden"));
        row("non-ascii kept", QString::fromUtf8("résumé.txt"), QString::fromUtf8("résumé.txt"));
        const QString e = QString::fromUtf8("é");
        row("longest ascii kept", QString(255, QLatin1Char('a')), QString(255, QLatin1Char('a')));
        row("too long, type kept", e.repeated(200) + QStringLiteral(".txt"), e.repeated(125) + QStringLiteral(".txt"));
        row("too long, odd budget", QStringLiteral("x") + e.repeated(200), QStringLiteral("x") + e.repeated(127));
        row("too long, no short type", e.repeated(130) + QStringLiteral(".") + QString(20, QLatin1Char('t')),
            e.repeated(127));
        const QString clef = QString::fromUtf8("\xf0\x9d\x84\x9e"); // 4 bytes, two UTF-16 units
        row("surrogates not split", clef.repeated(64), clef.repeated(63));
    }
    void localNames()
    {
        QFETCH(QString, deviceName);
        QTEST(localFileName(deviceName), "localName");
    }

    void uploadNames_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("acceptable");
        const auto row = [](const char *tag, const QString &path, const QString &name, bool ok) {
            QTest::newRow(tag) << path << name << ok;
        };
        row("spaces removed", QStringLiteral("/home/u/my file (1).txt"), QStringLiteral("myfile(1).txt"), true);
        row("non-ascii removed", QString::fromUtf8("/tmp/résumé.txt"), QStringLiteral("rsum.txt"), true);
        row("two types", QStringLiteral("/tmp/archive.tar.gz"), QStringLiteral("archive.tar.gz"), true);
        row("no type", QStringLiteral("/tmp/README"), QStringLiteral("README"), true);
        row("hidden", QStringLiteral("/tmp/.hidden"), QStringLiteral(".hidden"), false);
        row("trailing dot", QStringLiteral("/tmp/name."), QStringLiteral("name."), false);
        row("double dot", QStringLiteral("/tmp/a..b"), QStringLiteral("a..b"), false);
        row("dot after cleaning", QStringLiteral("/tmp/ .txt"), QStringLiteral(".txt"), false);
        row("empty after cleaning", QStringLiteral("/tmp/###"), QString(), true);
        row("kept punctuation", QStringLiteral("/x/a'()*+,-_.b"), QStringLiteral("a'()*+,-_.b"), true);
        row("removed punctuation", QStringLiteral("/x/a!\"#$%&/b;<=>?@[\\]^`{|}~.c"), QStringLiteral("b.c"), true);
        row("backslash is not a separator", QStringLiteral("C:\\x\\a.txt"), QStringLiteral("Cxa.txt"), true);
        row("folder", QStringLiteral("/x/dir/"), QString(), true);
        row("third part empty", QStringLiteral("/x/a.b."), QStringLiteral("a.b."), true);
        const QString longName = QString(300, QLatin1Char('a')) + QStringLiteral(".txt");
        row("cut to 256", QStringLiteral("/x/") + longName, QString(256, QLatin1Char('a')), true);
        const QString longWithType = QString(250, QLatin1Char('b')) + QStringLiteral(".txt.gz");
        row("cut keeps 256", QStringLiteral("/x/") + longWithType, longWithType.left(256), true);
    }
    void uploadNames()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QCOMPARE(uploadName(path), name);
        QTEST(uploadNameAcceptable(name), "acceptable");
    }

    // What the receiver can store, decided the same for put, sync and
    // restore: the first problem found counts.
    void storableNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("problem");
        const auto row = [](const char *tag, const QString &name, NameProblem problem) {
            QTest::newRow(tag) << name << int(problem);
        };
        row("plain", QStringLiteral("a.txt"), NameProblem::None);
        row("with a folder", QStringLiteral("presets/sw.txt"), NameProblem::None);
        row("no type at all", QStringLiteral("README"), NameProblem::None);
        row("longest", QString(26, QLatin1Char('a')) + QStringLiteral(".txt"), NameProblem::None);
        row("one byte too long", QString(27, QLatin1Char('a')) + QStringLiteral(".txt"), NameProblem::Length);
        row("empty", QString(), NameProblem::Shape);
        row("nothing before the dot", QStringLiteral(".cfg"), NameProblem::Shape);
        row("nothing after the dot", QStringLiteral("a."), NameProblem::Shape);
        row("space", QStringLiteral("my file.txt"), NameProblem::Characters);
        row("beyond ASCII", QString::fromUtf8("caf\xc3\xa9.txt"), NameProblem::Characters);
        row("characters before length", QString(40, QLatin1Char(' ')), NameProblem::Characters);
        row("shape before length", QString(40, QLatin1Char('a')) + QStringLiteral(".."), NameProblem::Shape);
    }
    void storableNames()
    {
        QFETCH(QString, name);
        QTEST(int(storableNameProblem(name)), "problem");
    }

    void freeSpace_data()
    {
        QTest::addColumn<quint32>("total");
        QTest::addColumn<quint32>("used");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("fits");
        QTest::newRow("one byte to spare") << 1000u << 500u << qint64(499) << true;
        QTest::newRow("exactly the free space") << 1000u << 500u << qint64(500) << false;
        QTest::newRow("empty file, full receiver") << 1000u << 1000u << qint64(0) << false;
        // A full receiver counts its spare blocks as used: no room, never
        // a wrapped figure's worth.
        QTest::newRow("use above total") << 1000u << 1001u << qint64(1 << 20) << false;
    }
    void freeSpace()
    {
        QFETCH(quint32, total);
        QFETCH(quint32, used);
        QFETCH(qint64, size);
        QTEST(fitsInFreeSpace(size, CatalogueFormat::MemoryFigures{total, used}), "fits");
    }

    // What a plan of writes needs on the flash, counted in its pages.
    void flashRoom_data()
    {
        QTest::addColumn<quint32>("free");
        QTest::addColumn<QVector<qint64>>("removed");
        QTest::addColumn<QVector<qint64>>("sizes");
        QTest::addColumn<QVector<qint64>>("replaces"); // -1: a new name
        QTest::addColumn<bool>("fits");
        // A file of 251 bytes takes a data page and an index page: 512.
        QTest::newRow("exactly") << 512u << QVector<qint64>{} << QVector<qint64>{251} << QVector<qint64>{-1} << true;
        QTest::newRow("a byte more needs a page more") << 512u << QVector<qint64>{} << QVector<qint64>{252}
                                                      << QVector<qint64>{-1} << false;
        QTest::newRow("room freed first") << 0u << QVector<qint64>{256} << QVector<qint64>{251} << QVector<qint64>{-1}
                                          << true;
        QTest::newRow("a replaced file frees its pages") << 0u << QVector<qint64>{} << QVector<qint64>{251}
                                                         << QVector<qint64>{256} << true;
        QTest::newRow("a later shrink cannot pay for an earlier growth")
                << 256u << QVector<qint64>{} << QVector<qint64>{1000, 0} << QVector<qint64>{251, 2000} << false;
        // Where the window's rule and the plan's part: free space above the
        // size is not yet room for the pages.
        QTest::newRow("free above the size, pages beyond it") << 4096u << QVector<qint64>{} << QVector<qint64>{3900}
                                                             << QVector<qint64>{-1} << false;
    }
    void flashRoom()
    {
        QFETCH(quint32, free);
        QFETCH(QVector<qint64>, removed);
        QFETCH(QVector<qint64>, sizes);
        QFETCH(QVector<qint64>, replaces);
        QVector<FlashRoom::Upload> uploads;
        for (int i = 0; i < sizes.size(); ++i)
            uploads.append({sizes.at(i), replaces.at(i) < 0 ? std::nullopt : std::optional<qint64>(replaces.at(i))});
        const FlashRoom::Room room = FlashRoom::plan(CatalogueFormat::MemoryFigures{1000000, 1000000 - free}, removed, uploads);
        QTEST(room.fits(), "fits");
    }

    // Each upload replaces the file of its name the receiver holds, or the
    // one an earlier upload of the same plan made.
    void uploadsOverWhatIsThere()
    {
        const QVector<FlashRoom::Upload> uploads =
                FlashRoom::uploadsOver({{"a.txt", 2000}, {"b.txt", 7}}, {{"a.txt", 100}, {"c.txt", 5}, {"a.txt", 300}});
        QCOMPARE(uploads.size(), 3);
        QCOMPARE(uploads.at(0).replaces, std::optional<qint64>(2000));
        QCOMPARE(uploads.at(1).replaces, std::optional<qint64>());
        QCOMPARE(uploads.at(2).replaces, std::optional<qint64>(100));
        QCOMPARE(uploads.at(2).size, qint64(300));
    }

    void uploadPayloads()
    {
        QCOMPARE(uploadStartPayload("/a.txt", 100), QByteArray::fromHex("0000000600000064") + "/a.txt");
        QCOMPARE(uploadStartPayload("/", 0xFFFFFFFE), QByteArray::fromHex("00000001fffffffe") + "/");
        QCOMPARE(uploadChunkPayload("x"), QByteArray::fromHex("01") + "x");
        QCOMPARE(uploadChunkPayload(QByteArray(32, 'y')), QByteArray::fromHex("20") + QByteArray(32, 'y'));
    }
};

QTEST_APPLESS_MAIN(TransferFormatTest)
#include "tst_transferformat.moc"
