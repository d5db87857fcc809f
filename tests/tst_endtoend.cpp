// The real program against the emulated receiver: a real MainWindow and
// QSerialPort on one end of a pseudo-terminal, EmulatorHost and its engine on
// the other, both on the test's event loop. Nothing is scripted per test: what
// the window shows comes from the emulator's store.
//
// Every test that takes addLineConditions() runs once per condition of the
// line (whole replies, replies cut into single bytes, small pieces with gaps,
// a paced 115200-baud wire). Tests of further operations follow the same
// pattern: an EmulatorHarness made with lineOptions(), files put into its
// store, connectAndWait(), then the buttons.
#include "app/mainwindow.h"
#include "emulatorarguments.h"
#include "emulatorharness.h"
#include "link/linkstate.h"
#include "testfiles.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QTemporaryDir>
#include <QtCore/QThread>
#include <QtTest/QSignalSpy>
#include <QtTest/QTest>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QMessageBox>
#include <QtWidgets/QProgressBar>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QTableWidget>

namespace {

void addLineConditions()
{
    QTest::addColumn<QStringList>("line");
    QTest::newRow("whole replies") << QStringList();
    QTest::newRow("split 1") << QStringList{QStringLiteral("--split"), QStringLiteral("1")};
    QTest::newRow("split 3, 2 ms gaps")
            << QStringList{QStringLiteral("--split"), QStringLiteral("3"), QStringLiteral("--gap-ms"),
                           QStringLiteral("2")};
    QTest::newRow("115200 baud") << QStringList{QStringLiteral("--baud"), QStringLiteral("115200")};
}

// The options of the current row, with extra arguments of the test's own.
EngineOptions lineOptions(const QStringList &extra = QStringList())
{
    QFETCH(QStringList, line);
    const ParsedArguments parsed =
            parseEmulatorArguments(QStringList{QStringLiteral("spiffs-emulator")} + line + extra);
    if (!parsed.error.isEmpty())
        qFatal("bad emulator arguments: %s", qPrintable(parsed.error));
    return parsed.options;
}


struct StoredFile
{
    QByteArray name;
    int size;
};

// Not in alphabetical order: the table must keep the device's order.
const QVector<StoredFile> storeFiles = {
        {"zeta.txt", 5},  {"alpha.wav", 300},  {"dir/page.html", 0},
        {"notes", 1000},  {"Song.MP3", 4096},  {"station.ini", 257},
};

void fill(DeviceStore &store, const QVector<StoredFile> &files)
{
    for (int i = 0; i < files.size(); ++i)
        QVERIFY(store.store(files.at(i).name, patterned(files.at(i).size, i)));
}

QStringList namesOf(const QVector<StoredFile> &files)
{
    QStringList names;
    for (const StoredFile &file : files)
        names << QString::fromUtf8(file.name);
    return names;
}

QStringList sizesOf(const QVector<StoredFile> &files)
{
    QStringList sizes;
    for (const StoredFile &file : files)
        sizes << QString::number(file.size);
    return sizes;
}

// The window's figures and table describe the store, and the program's
// frames were exact: nothing it sent had to be skipped.
void verifyWindowShowsStore(EmulatorHarness &harness)
{
    const DeviceStore &store = harness.store();
    QCOMPARE(harness.label("totalMemory")->text(), QString::number(store.capacity()));
    QCOMPARE(harness.label("availableMemory")->text(), QString::number(store.capacity() - store.usedBytes()));
    QCOMPARE(harness.gauge()->maximum(), int(store.capacity()));
    QCOMPARE(harness.gauge()->value(), int(store.usedBytes()));
    QStringList names;
    QStringList sizes;
    for (const DeviceStore::File &file : store.files()) {
        names << QString::fromUtf8(file.name);
        sizes << QString::number(file.content.size());
    }
    QCOMPARE(harness.tableNames(), names);
    QCOMPARE(harness.tableSizes(), sizes);
    QCOMPARE(harness.engine().bytesSkipped(), qint64(0));
}

// Replies that take long on a slow or gappy line (a 1 MiB file, a 100,000
// byte upload) only run where the line is not slowed down on purpose.
bool lineIsFast(const EngineOptions &options)
{
    return options.baud == 0 && options.gapMs == 0;
}

} // namespace

class EndToEndTest : public QObject
{
    Q_OBJECT

private slots:
    // ---- connect: memory report and listing ---------------------------------

    void connectShowsTheStore_data() { addLineConditions(); }
    void connectShowsTheStore()
    {
        EmulatorHarness harness(lineOptions());
        QVERIFY(harness.isValid());
        fill(harness.store(), storeFiles);
        QVERIFY(harness.connectAndWait());
        QCOMPARE(harness.tableNames(), namesOf(storeFiles));
        QCOMPARE(harness.tableSizes(), sizesOf(storeFiles));
        // 6 headers and 1 + 2 + 0 + 4 + 16 + 2 data pages.
        QCOMPARE(harness.label("availableMemory")->text(),
                 QString::number(DeviceStore::DefaultCapacity - (6 + 25) * 256));
        QCOMPARE(harness.label("totalMemory")->text(), QString::number(DeviceStore::DefaultCapacity));
        verifyWindowShowsStore(harness);
        QCOMPARE(harness.engine().framesHandled(), 2); // "M", then "L"
        QCOMPARE(harness.statusText(), QString());
        QVERIFY(linkState().rxBuffer.isEmpty());
    }

    void connectToAnEmptyStore_data() { addLineConditions(); }
    void connectToAnEmptyStore()
    {
        EmulatorHarness harness(lineOptions({QStringLiteral("--capacity"), QStringLiteral("65536")}));
        QVERIFY(harness.connectAndWait());
        QCOMPARE(harness.table()->rowCount(), 0);
        QCOMPARE(harness.label("totalMemory")->text(), QStringLiteral("65536"));
        QCOMPARE(harness.label("availableMemory")->text(), QStringLiteral("65536"));
        verifyWindowShowsStore(harness);
    }

    void connectToAFullStore_data() { addLineConditions(); }
    void connectToAFullStore()
    {
        // 120 files of 30-byte names fill a long listing and most of a small store.
        EmulatorHarness harness(lineOptions({QStringLiteral("--capacity"), QStringLiteral("100000")}));
        for (int i = 0; i < 120; ++i) {
            const QByteArray name = QByteArray("file-") + QByteArray::number(i).rightJustified(3, '0')
                    + QByteArray(18, 'n') + ".txt";
            QVERIFY(harness.store().store(name, patterned(i * 3, i)));
        }
        QVERIFY(harness.connectAndWait(60000)); // about 1500 pieces 2 ms apart, with gaps
        QCOMPARE(harness.table()->rowCount(), 120);
        verifyWindowShowsStore(harness);
    }

    void connectToTheSampleStore()
    {
        QTemporaryDir copy;
        QVERIFY(copy.isValid());
        const QDir samples(QStringLiteral(SOURCE_DIR "/examples/sample-store"));
        QStringList hostNames = samples.entryList(QDir::Files, QDir::Name);
        QVERIFY(hostNames.size() >= 8);
        QStringList names;
        QStringList sizes;
        for (const QString &hostName : hostNames) {
            QVERIFY(QFile::copy(samples.filePath(hostName), copy.filePath(hostName)));
            names << QString::fromUtf8(SpiffsLayout::nameFromHostFile(hostName));
            sizes << QString::number(QFileInfo(samples.filePath(hostName)).size());
        }
        EngineOptions options;
        options.folder = copy.path();
        EmulatorHarness harness(options);
        QVERIFY(harness.isValid());
        QVERIFY(harness.store().warnings().isEmpty());
        QVERIFY(harness.connectAndWait());
        QCOMPARE(harness.tableNames(), names);
        QCOMPARE(harness.tableSizes(), sizes);
        QVERIFY(names.contains(QStringLiteral("presets/shortwave.txt")));
        verifyWindowShowsStore(harness);
    }

    void hostOnItsOwnThread_data() { addLineConditions(); }
    void hostOnItsOwnThread()
    {
        EmulatorHarness harness(lineOptions());
        fill(harness.store(), storeFiles);
        const quint32 used = harness.store().usedBytes();
        harness.runHostOnOwnThread();
        QVERIFY(harness.host.thread() != QThread::currentThread());
        for (int round = 0; round < 2; ++round) {
            QVERIFY(harness.connectAndWait());
            QCOMPARE(harness.tableNames(), namesOf(storeFiles));
            QCOMPARE(harness.tableSizes(), sizesOf(storeFiles));
            QCOMPARE(harness.label("availableMemory")->text(), QString::number(DeviceStore::DefaultCapacity - used));
            harness.button("pushButton_3")->click(); // disconnect
        }
        int frames = 0;
        QMetaObject::invokeMethod(
                &harness.host, [&] { frames = harness.engine().framesHandled(); }, Qt::BlockingQueuedConnection);
        QCOMPARE(frames, 4);
    }


    // ---- download ----------------------------------------------------------

    void downloadIsByteIdentical_data() { addLineConditions(); }
    void downloadIsByteIdentical()
    {
        const EngineOptions options = lineOptions();
        EmulatorHarness harness(options);
        QByteArray everyByte(256, Qt::Uninitialized);
        for (int i = 0; i < 256; ++i)
            everyByte[i] = char(i);
        QVector<QPair<QByteArray, QByteArray>> files = {
                {"empty.txt", QByteArray()}, {"one.bin", "x"}, {"bytes.bin", everyByte}};
        // A whole MiB where replies come whole; a line cut into single bytes
        // takes one arrival per byte, so it gets 64 KiB.
        if (lineIsFast(options))
            files.append({"big.bin", patterned(options.splitBytes == 0 ? 1024 * 1024 : 64 * 1024, 7)});
        for (const auto &file : files)
            QVERIFY(harness.store().store(file.first, file.second));
        QVERIFY(harness.connectAndWait());

        QTemporaryDir folder;
        for (const auto &file : files) {
            const QString name = QString::fromUtf8(file.first);
            QVERIFY2(harness.download(name, folder.path()), qPrintable(name));
            QCOMPARE(harness.statusText(), QStringLiteral("downloading complete"));
            QCOMPARE(readLocalFile(folder.filePath(name)), file.second);
        }
        QCOMPARE(folderEntries(folder.path()).size(), files.size());
        QCOMPARE(harness.engine().bytesSkipped(), qint64(0));
    }

    void downloadOfAFileGoneFromTheDevice()
    {
        EmulatorHarness harness;
        fill(harness.store(), storeFiles);
        QVERIFY(harness.connectAndWait());
        QVERIFY(harness.store().remove("zeta.txt")); // behind the program's back
        QTemporaryDir folder;
        QVERIFY(harness.download(QStringLiteral("zeta.txt"), folder.path()));
        QCOMPARE(harness.statusText(), QStringLiteral("ESP32: can't open the file"));
        QVERIFY(folderEntries(folder.path()).isEmpty());
    }

    // ---- upload ------------------------------------------------------------

    void uploadIsByteIdentical_data() { addLineConditions(); }
    void uploadIsByteIdentical()
    {
        const EngineOptions options = lineOptions();
        EmulatorHarness harness(options);
        fill(harness.store(), storeFiles.mid(0, 2));
        QVERIFY(harness.connectAndWait());
        QTemporaryDir folder;
        QList<int> sizes = {0, 1, 31, 32, 33};
        if (options.baud == 0)
            sizes << 100000;
        for (int size : sizes) {
            const QString name = QStringLiteral("up-%1.bin").arg(size);
            const QByteArray content = patterned(size, size);
            QVERIFY(harness.upload(writeLocalFile(folder, name, content)));
            QCOMPARE(harness.statusText(), QStringLiteral("uploading complete"));
            const DeviceStore::File *stored = harness.store().find(name.toLatin1());
            QVERIFY2(stored, qPrintable(name));
            QCOMPARE(stored->content, content);
            QCOMPARE(harness.tableNames().last(), name);
            verifyWindowShowsStore(harness);
        }
    }

    void uploadRefusedByAFullDevice()
    {
        EngineOptions options;
        options.capacity = 4096;
        EmulatorHarness harness(options);
        QVERIFY(harness.store().store("fill.bin", QByteArray(3000, 'f')));
        QVERIFY(harness.connectAndWait());
        // Free by the device's own figure, but the pages it needs are not.
        QTemporaryDir folder;
        QVERIFY(harness.upload(writeLocalFile(folder, QStringLiteral("more.bin"), QByteArray(700, 'm'))));
        QCOMPARE(harness.statusText(), QStringLiteral("uploading stoped"));
        QVERIFY(!harness.store().find("more.bin"));
        verifyWindowShowsStore(harness);
    }

    // A name the receiver refuses as too long ("/" and the name over 31
    // bytes) passes the window's own checks; what follows is what the
    // manual tells.
    void uploadNameTooLong()
    {
        EmulatorHarness harness;
        QVERIFY(harness.connectAndWait());
        QTemporaryDir folder;
        QVERIFY(harness.upload(writeLocalFile(folder, QString(27, QLatin1Char('n')) + QStringLiteral(".txt"), "abc")));
        QCOMPARE(harness.answerer->boxes.size(), 0);
        QCOMPARE(harness.statusText(), QStringLiteral("uploading stoped"));
        QVERIFY(harness.store().files().isEmpty() && harness.tableNames().isEmpty());
        const QString page = QString::fromUtf8(readLocalFile(QStringLiteral(SOURCE_DIR "/docs/man/spiffs-manager.1.in")));
        const QString upload = page.section(QStringLiteral(".SS Upload\n"), 1).section(QStringLiteral(".SS "), 0, 0);
        QVERIFY2(upload.contains(QStringLiteral("too long")) && upload.contains(harness.statusText()), qPrintable(upload));
    }

    // ---- remove, format, execute, reboot -------------------------------------

    void removeAndFormat_data() { addLineConditions(); }
    void removeAndFormat()
    {
        EmulatorHarness harness(lineOptions());
        fill(harness.store(), storeFiles);
        QVERIFY(harness.connectAndWait());

        QVERIFY(harness.selectFile(QStringLiteral("notes")));
        harness.answerer->queueBoxAnswer(QMessageBox::Yes);
        harness.button("pushButton_4")->click();
        QVERIFY(harness.waitUntilIdle());
        QCOMPARE(harness.statusText(), QStringLiteral("removing complete"));
        QVERIFY(!harness.store().find("notes"));
        QVERIFY(!harness.tableNames().contains(QStringLiteral("notes")));
        verifyWindowShowsStore(harness);

        // A file removed meanwhile by someone else: the device says no.
        QVERIFY(harness.store().remove("zeta.txt"));
        QVERIFY(harness.selectFile(QStringLiteral("zeta.txt")));
        harness.answerer->queueBoxAnswer(QMessageBox::Yes);
        harness.button("pushButton_4")->click();
        QVERIFY(harness.waitUntilIdle());
        QCOMPARE(harness.statusText(), QStringLiteral("ESP32: can't remove the file"));

        harness.answerer->queueBoxAnswer(QMessageBox::Yes);
        harness.button("pushButton_5")->click();
        QVERIFY(harness.waitUntilIdle());
        QCOMPARE(harness.statusText(), QStringLiteral("file system ESP32 formatted"));
        QCOMPARE(harness.table()->rowCount(), 0);
        QCOMPARE(harness.store().usedBytes(), 0u);
        verifyWindowShowsStore(harness);
    }

    void executeAndReboot_data() { addLineConditions(); }
    void executeAndReboot()
    {
        EmulatorHarness harness(lineOptions());
        fill(harness.store(), storeFiles);
        QVERIFY(harness.store().store("boot.bin", "\x7f"));
        QVERIFY(harness.connectAndWait());

        QVERIFY(harness.selectFile(QStringLiteral("Song.MP3")));
        harness.button("pushButton_7")->click();
        QVERIFY(harness.waitUntilIdle());
        QCOMPARE(harness.statusText(), QStringLiteral("file opened on ESP32"));
        QCOMPARE(harness.engine().openedFiles(), QByteArrayList{"/Song.MP3"});

        QVERIFY(harness.selectFile(QStringLiteral("boot.bin")));
        harness.button("pushButton_7")->click();
        QVERIFY(harness.waitUntilIdle());
        QCOMPARE(harness.statusText(), QStringLiteral("ESP32: file unsupported"));

        harness.button("pushButton_8")->click();
        QCOMPARE(harness.statusText(), QStringLiteral("ESP32 restarted"));
        // While the receiver boots, a command is refused, not lost in the
        // banner; once it is up, the next works without reconnecting.
        QVERIFY(harness.selectFile(QStringLiteral("station.ini")));
        QTest::qWait(150);
        harness.answerer->clear();
        harness.button("pushButton_7")->click();
        QCOMPARE(harness.answerer->boxes.size(), 1);
        QCOMPARE(harness.answerer->boxes.at(0).text, QStringLiteral("device is busy now"));
        QVERIFY(harness.waitUntilIdle());
        QVERIFY(linkState().rxBuffer.isEmpty());
        harness.button("pushButton_7")->click();
        QVERIFY(harness.waitUntilIdle());
        QCOMPARE(harness.statusText(), QStringLiteral("file opened on ESP32"));
        QCOMPARE(harness.tableNames().size(), storeFiles.size() + 1);
    }

    // ---- the line: reconnecting, unplugging, noise ------------------------

    void reconnectShowsChangesMadeMeanwhile()
    {
        EmulatorHarness harness;
        fill(harness.store(), storeFiles.mid(0, 2));
        QVERIFY(harness.connectAndWait());
        QCOMPARE(harness.tableNames(), namesOf(storeFiles.mid(0, 2)));

        harness.button("pushButton_3")->click(); // disconnect
        QVERIFY(!linkState().portOpen);
        QVERIFY(harness.store().remove("zeta.txt"));
        QVERIFY(harness.store().store("new.bin", QByteArray(600, 'n')));

        QVERIFY(harness.connectAndWait());
        QCOMPARE(harness.tableNames(), (QStringList{QStringLiteral("alpha.wav"), QStringLiteral("new.bin")}));
        verifyWindowShowsStore(harness);
        QCOMPARE(harness.engine().framesHandled(), 4);
    }

    void hangUpMidListing_data() { addLineConditions(); }
    void hangUpMidListing()
    {
        // The memory report (8 bytes), the listing's length and part of its
        // first entry, then the device is gone.
        EmulatorHarness harness(lineOptions({QStringLiteral("--hangup-after"), QStringLiteral("20")}));
        fill(harness.store(), storeFiles);
        QSignalSpy hungUp(&harness.host, &EmulatorHost::lineHungUp);
        harness.clickConnect();
        QVERIFY(linkState().portOpen);
        QVERIFY(EmulatorHarness::waitFor([] { return !linkState().portOpen; }));
        QCOMPARE(hungUp.count(), 1);
        QCOMPARE(harness.statusText(), QStringLiteral("ESP32: connection lost"));
        QCOMPARE(harness.button("pushButton_3")->text(), QStringLiteral("connect"));
        QCOMPARE(harness.table()->rowCount(), 0);
        QCOMPARE(harness.label("totalMemory")->text(), QStringLiteral("0"));
        QCOMPARE(harness.engine().bytesSent(), qint64(20));

        // Plugged in again, found by Scan: connecting starts afresh.
        QVERIFY(harness.replugAndRescan());
        QVERIFY(harness.connectAndWait());
        QCOMPARE(harness.tableNames(), namesOf(storeFiles));
        verifyWindowShowsStore(harness);
        QCOMPARE(harness.statusText(), QString());
    }

    void hangUpWhileIdle()
    {
        EmulatorHarness harness;
        fill(harness.store(), storeFiles);
        QVERIFY(harness.connectAndWait());
        harness.host.hangUp();
        QVERIFY(EmulatorHarness::waitFor([] { return !linkState().portOpen; }));
        QCOMPARE(harness.statusText(), QStringLiteral("ESP32: connection lost"));
        QVERIFY(harness.replugAndRescan());
        QVERIFY(harness.connectAndWait());
        verifyWindowShowsStore(harness);
    }

    void noiseBetweenExchangesIsIgnored()
    {
        // Stray bytes once the line has been quiet for a second: the connect
        // and its replies come well before that.
        EngineOptions options;
        options.garbage = true;
        options.garbageIntervalUs = 1000000;
        EmulatorHarness harness(options);
        fill(harness.store(), storeFiles);
        QVERIFY(harness.connectAndWait());
        verifyWindowShowsStore(harness);
        const qint64 afterListing = harness.engine().bytesSent();
        QVERIFY(EmulatorHarness::waitFor([&] { return harness.engine().bytesSent() > afterListing + 20; }));
        QVERIFY(linkState().currentOperation.isEmpty());
        QVERIFY(linkState().rxBuffer.isEmpty());
        QCOMPARE(harness.tableNames(), namesOf(storeFiles));
        QCOMPARE(harness.statusText(), QString());
    }
};

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
