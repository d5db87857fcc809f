// Many full cycles against the emulated receiver in one process: connect
// (memory report and listing), upload, download, compare, remove,
// disconnect. Every cycle's bytes are checked; resident memory is sampled and
// reported (not judged here: scripts/soak runs 1,000 cycles and
// docs/reliability.md records the figures). SPIFFS_SOAK_CYCLES sets the count.
//
// Each file dialog draws its icons afresh into Qt's pixmap cache, which grows
// until its limit (10 MiB by default); SPIFFS_SOAK_PIXMAP_CACHE_KIB sets that
// limit, so the program's own memory can be watched apart from the cache.
#include "emulatorharness.h"
#include "link/linkstate.h"
#include "testfiles.h"

#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>
#include <QtGui/QPixmapCache>
#include <QtTest/QTest>
#include <QtWidgets/QMessageBox>
#include <QtWidgets/QPushButton>

namespace {

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

} // namespace

class SoakTest : public QObject
{
    Q_OBJECT

private slots:
    void cycles()
    {
        const int cycles = qEnvironmentVariableIsSet("SPIFFS_SOAK_CYCLES")
                                   ? qEnvironmentVariableIntValue("SPIFFS_SOAK_CYCLES")
                                   : 50;
        if (qEnvironmentVariableIsSet("SPIFFS_SOAK_PIXMAP_CACHE_KIB"))
            QPixmapCache::setCacheLimit(qEnvironmentVariableIntValue("SPIFFS_SOAK_PIXMAP_CACHE_KIB"));
        EmulatorHarness harness;
        QVERIFY(harness.isValid());
        QVERIFY(harness.store().store("resident.txt", patterned(700, 1)));
        QTemporaryDir uploads;
        QTemporaryDir downloads;
        const int sampleEvery = std::max(1, cycles / 10);
        QVector<qint64> samples;

        for (int cycle = 0; cycle < cycles; ++cycle) {
            const QByteArray content = patterned(1000 + (cycle % 7) * 900, cycle);
            const QString name = QStringLiteral("soak-%1.bin").arg(cycle % 3);
            const QString local = writeLocalFile(uploads, name, content);

            QVERIFY(harness.connectAndWait());
            QVERIFY(harness.upload(local));
            QCOMPARE(harness.statusText(), QStringLiteral("uploading complete"));
            QVERIFY(harness.download(name, downloads.path()));
            QCOMPARE(harness.statusText(), QStringLiteral("downloading complete"));
            QCOMPARE(readLocalFile(downloads.filePath(name)), content);

            QVERIFY(harness.selectFile(name));
            harness.answerer->queueBoxAnswer(QMessageBox::Yes);
            harness.button("pushButton_4")->click();
            QVERIFY(harness.waitUntilIdle());
            QCOMPARE(harness.statusText(), QStringLiteral("removing complete"));
            QCOMPARE(harness.tableNames(), QStringList{QStringLiteral("resident.txt")});
            harness.button("pushButton_3")->click(); // disconnect
            QVERIFY(!linkState().portOpen);
            harness.answerer->clear(); // the record of answered boxes is the test's, not the program's

            if (cycle % sampleEvery == 0 || cycle == cycles - 1)
                samples << residentKiB();
        }

        QStringList shown;
        for (qint64 sample : samples)
            shown << QString::number(sample);
        qInfo("soak: %d cycles, resident KiB sampled every %d: %s", cycles, sampleEvery,
              qPrintable(shown.join(QLatin1Char(' '))));
        if (samples.size() >= 3) {
            const qint64 middle = samples.at(samples.size() / 2);
            qInfo("soak: growth over the first half %lld KiB, over the second half %lld KiB",
                  middle - samples.first(), samples.last() - middle);
        }
    }
};

QTEST_MAIN(SoakTest)
#include "tst_soak.moc"
