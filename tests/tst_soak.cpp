// Many full cycles against the emulated receiver in one process: connect
// (memory report and listing), upload, download, compare, remove,
// disconnect. Every cycle's bytes are checked, and so is what a cycle could
// leave behind: once the first cycles are over, the number of widgets alive
// (a message box or a dialog never deleted) and of open file descriptors (a
// file, a folder or the port never closed) must not grow. SPIFFS_SOAK_CYCLES
// sets the count; scripts/soak runs 1,000.
//
// The heap is not judged here: Qt's file dialogs keep a little more of it
// after each use, about as much as a cycle moves, so no bound would tell a
// leak of the program's from theirs. spiffs-bench --only soak reports the
// heap and resident memory per cycle instead.
#include "emulatorharness.h"
#include "link/linkstate.h"
#include "testfiles.h"

#include <QtCore/QDir>
#include <QtCore/QTemporaryDir>
#include <QtTest/QTest>
#include <QtWidgets/QApplication>
#include <QtWidgets/QMessageBox>
#include <QtWidgets/QPushButton>

namespace {

constexpr int WarmUpCycles = 5;

int openFileDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

int liveWidgets()
{
    // Widgets handed to deleteLater() are gone once their turn comes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return int(QApplication::allWidgets().size());
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
        EmulatorHarness harness;
        QVERIFY(harness.isValid());
        QVERIFY(harness.store().store("resident.txt", patterned(700, 1)));
        QTemporaryDir uploads;
        QTemporaryDir downloads;
        int widgetsAfterWarmUp = -1;
        int descriptorsAfterWarmUp = -1;

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

            if (cycle + 1 == WarmUpCycles) {
                widgetsAfterWarmUp = liveWidgets();
                descriptorsAfterWarmUp = openFileDescriptors();
            } else if (cycle + 1 > WarmUpCycles) {
                QCOMPARE(liveWidgets(), widgetsAfterWarmUp);
                QCOMPARE(openFileDescriptors(), descriptorsAfterWarmUp);
            }
        }
    }
};

QTEST_MAIN(SoakTest)
#include "tst_soak.moc"
