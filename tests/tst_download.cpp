// Download through the window, with a scripted device on a pseudo-terminal
// and real folders on disk.
#include "link/linkstate.h"
#include "link/operation.h"
#include "filesizelimit.h"
#include "windowharness.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>
#include <QtTest/QSignalSpy>
#include <QtTest/QTest>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QStatusBar>
#include <QtWidgets/QTableWidget>

using namespace DeviceBytes;

namespace {

QByteArray fileReply(const QByteArray &content)
{
    return be32(quint32(content.size())) + content;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

bool isIdle()
{
    return linkState().currentOperation == Operation::Idle;
}

// A connected window listing the given files, one of them selected, with the
// download request for it already sent into folder.
struct DownloadSetup
{
    WindowHarness harness;
    QTemporaryDir folder;

    bool start(const QByteArray &name, const QVector<FileEntry> &others = {})
    {
        if (!harness.connectWithFiles(others + QVector<FileEntry>{{name, 0}}))
            return false;
        if (!harness.selectFile(QString::fromUtf8(name)))
            return false;
        harness.answerer->queueFileAnswer(folder.path());
        harness.button("pushButton")->click();
        const QByteArray path = "/" + name;
        return harness.device.readExactly(17 + 4 + path.size()) == frame('D', pathField(path));
    }
    QString localPath(const QString &name) const { return folder.filePath(name); }
};

} // namespace

class DownloadTest : public QObject
{
    Q_OBJECT

private slots:
    void requestIsByteExact()
    {
        DownloadSetup setup;
        QVERIFY(setup.harness.connectWithFiles({{"b.txt", 1}, {"a.txt", 5}}));
        QVERIFY(setup.harness.selectFile(QStringLiteral("a.txt")));
        setup.harness.answerer->queueFileAnswer(setup.folder.path());
        QSignalSpy messages(setup.harness.statusBar(), &QStatusBar::messageChanged);
        setup.harness.button("pushButton")->click();
        const QByteArray expected = QByteArray("K-Wanderer______D") + QByteArray::fromHex("00000006") + "/a.txt";
        QCOMPARE(setup.harness.device.readSizeOf(expected), expected);
        QVERIFY(setup.harness.device.staysQuiet());
        QCOMPARE(linkState().currentOperation, Operation::Download);
        QCOMPARE(setup.harness.answerer->fileDialogsShown, 1);
        QCOMPARE(messages.at(0).at(0).toString(), setup.localPath(QStringLiteral("a.txt")));
        QCOMPARE(setup.harness.statusText(), QStringLiteral("downloading, please wait..."));
        QCOMPARE(linkState().transferFile.fileName(), setup.localPath(QStringLiteral("a.txt")));
    }

    void progressAndCompletion()
    {
        DownloadSetup setup;
        QVERIFY(setup.start("song.mp3"));
        QByteArray content(256, '\0');
        for (int i = 0; i < content.size(); ++i)
            content[i] = char(i);
        QSignalSpy messages(setup.harness.statusBar(), &QStatusBar::messageChanged);
        PtyDevice &device = setup.harness.device;
        device.deliver(be32(256).left(1));
        device.deliver(be32(256).mid(1));
        QVERIFY(QFile::exists(setup.localPath(QStringLiteral("song.mp3"))) == false);
        device.deliver(content.left(100));
        device.deliver(content.mid(100, 100));
        device.deliver(content.mid(200));
        QStringList shown;
        for (const QList<QVariant> &message : messages)
            shown << message.at(0).toString();
        QCOMPARE(shown, (QStringList{QStringLiteral("prepare to download..."), QStringLiteral("downloaded 39%"),
                                     QStringLiteral("downloaded 78%"), QStringLiteral("downloaded 100%"),
                                     QStringLiteral("downloading complete")}));
        QCOMPARE(readFile(setup.localPath(QStringLiteral("song.mp3"))), content);
        QVERIFY(isIdle());
        QVERIFY(linkState().rxBuffer.isEmpty());
        QCOMPARE(linkState().transferSize, 0);
        QVERIFY(setup.harness.device.staysQuiet());
        QCOMPARE(entriesOf(setup.folder.path()), QStringList{QStringLiteral("song.mp3")});
    }

    void wholeReplyInOneArrival()
    {
        DownloadSetup setup;
        QVERIFY(setup.start("a.txt"));
        setup.harness.device.deliver(fileReply("hello"));
        QCOMPARE(setup.harness.statusText(), QStringLiteral("downloading complete"));
        QCOMPARE(readFile(setup.localPath(QStringLiteral("a.txt"))), QByteArray("hello"));
        QVERIFY(isIdle());
    }

    void splitAtEveryPosition()
    {
        const QByteArray content = "0123456789abcdef";
        const QByteArray reply = fileReply(content);
        for (int cut = 1; cut < reply.size(); ++cut) {
            DownloadSetup setup;
            QVERIFY(setup.start("a.txt"));
            setup.harness.device.deliver(reply.left(cut));
            QVERIFY(!isIdle());
            setup.harness.device.deliver(reply.mid(cut));
            QVERIFY2(isIdle(), qPrintable(QString::number(cut)));
            QCOMPARE(readFile(setup.localPath(QStringLiteral("a.txt"))), content);
        }
    }

    void emptyFile()
    {
        DownloadSetup setup;
        QVERIFY(setup.start("empty.txt"));
        setup.harness.device.deliver(be32(0) + "junk");
        QCOMPARE(setup.harness.statusText(), QStringLiteral("downloading complete"));
        QCOMPARE(readFile(setup.localPath(QStringLiteral("empty.txt"))), QByteArray());
        QVERIFY(isIdle());
    }

    void surplusIsNotWritten()
    {
        DownloadSetup setup;
        QVERIFY(setup.start("a.txt"));
        setup.harness.device.deliver(be32(5) + "hel");
        setup.harness.device.deliver(QByteArray("lo") + "SURPLUS");
        QCOMPARE(readFile(setup.localPath(QStringLiteral("a.txt"))), QByteArray("hello"));
        QCOMPARE(setup.harness.statusText(), QStringLiteral("downloading complete"));
        QVERIFY(linkState().rxBuffer.isEmpty());
    }

    void refusalLeavesExistingFile()
    {
        DownloadSetup setup;
        writeFile(setup.localPath(QStringLiteral("a.txt")), "old content");
        QVERIFY(setup.start("a.txt"));
        setup.harness.device.deliver("d");
        QCOMPARE(setup.harness.statusText(), QStringLiteral("ESP32: can't open the file"));
        QVERIFY(isIdle());
        QCOMPARE(readFile(setup.localPath(QStringLiteral("a.txt"))), QByteArray("old content"));
        QCOMPARE(entriesOf(setup.folder.path()), QStringList{QStringLiteral("a.txt")});
    }

    void refusalWithNoiseAfterIt()
    {
        DownloadSetup setup;
        QVERIFY(setup.start("a.txt"));
        setup.harness.device.deliver("d\r\n");
        QCOMPARE(setup.harness.statusText(), QStringLiteral("ESP32: can't open the file"));
        QVERIFY(isIdle());
        QVERIFY(entriesOf(setup.folder.path()).isEmpty());
    }

    void impossibleSizeIsRefused()
    {
        DownloadSetup setup;
        writeFile(setup.localPath(QStringLiteral("a.txt")), "old content");
        QVERIFY(setup.start("a.txt"));
        setup.harness.device.deliver(QByteArray::fromHex("80000000") + "data");
        QCOMPARE(setup.harness.statusText(), QStringLiteral("ESP32: bad file size"));
        QVERIFY(isIdle());
        QVERIFY(linkState().rxBuffer.isEmpty());
        QCOMPARE(readFile(setup.localPath(QStringLiteral("a.txt"))), QByteArray("old content"));
    }

    void existingFileReplacedOnlyWhenComplete()
    {
        DownloadSetup setup;
        writeFile(setup.localPath(QStringLiteral("a.txt")), "old content");
        QVERIFY(setup.start("a.txt"));
        setup.harness.device.deliver(be32(10) + "new c");
        QCOMPARE(readFile(setup.localPath(QStringLiteral("a.txt"))), QByteArray("old content"));
        QCOMPARE(entriesOf(setup.folder.path()), QStringList{QStringLiteral("a.txt")});
        setup.harness.device.deliver("ontent");
        QCOMPARE(readFile(setup.localPath(QStringLiteral("a.txt"))), QByteArray("new conten"));
        QCOMPARE(entriesOf(setup.folder.path()), QStringList{QStringLiteral("a.txt")});
    }

    void unfinishedDownloadLeavesNothing()
    {
        DownloadSetup setup;
        writeFile(setup.localPath(QStringLiteral("a.txt")), "old content");
        QVERIFY(setup.start("a.txt"));
        setup.harness.device.deliver(be32(1000) + QByteArray(500, 'n'));
        setup.harness.button("pushButton_3")->click(); // disconnect mid-transfer
        QCOMPARE(linkState().currentOperation, Operation::Download);
        QCOMPARE(readFile(setup.localPath(QStringLiteral("a.txt"))), QByteArray("old content"));
        QCOMPARE(entriesOf(setup.folder.path()), QStringList{QStringLiteral("a.txt")});

        // The next connection starts afresh and a new download works.
        QVERIFY(setup.harness.connectWithFiles({{"a.txt", 3}}));
        QVERIFY(setup.harness.selectFile(QStringLiteral("a.txt")));
        setup.harness.answerer->queueFileAnswer(setup.folder.path());
        setup.harness.button("pushButton")->click();
        QCOMPARE(setup.harness.device.readExactly(27).left(17), frame('D'));
        setup.harness.device.deliver(fileReply("new"));
        QCOMPARE(readFile(setup.localPath(QStringLiteral("a.txt"))), QByteArray("new"));
    }

    // Cut before the device's size came: the listing's size tells how much
    // is still on its way, for the next Connect to wait out.
    void cutBeforeItsSizeKeepsTheListedRest()
    {
        WindowHarness harness;
        QTemporaryDir folder;
        QVERIFY(harness.connectWithFiles({{"big.wav", 20000}}));
        QVERIFY(harness.selectFile(QStringLiteral("big.wav")));
        harness.answerer->queueFileAnswer(folder.path());
        harness.button("pushButton")->click();
        QCOMPARE(harness.device.readExactly(17 + 4 + 8), frame('D', pathField("/big.wav")));
        harness.device.deliver(QByteArray(1, '\0'));
        harness.button("pushButton_3")->click(); // disconnect
        QVERIFY(linkState().remainder);
        QCOMPARE(linkState().remainder->bytesDue, qint64(4 + 20000 - 1));
        QCOMPARE(linkState().remainder->name, QByteArray("big.wav"));
    }

    void folderThatCannotBeWritten()
    {
        DownloadSetup setup;
        QVERIFY(setup.harness.connectWithFiles({{"a.txt", 5}}));
        QVERIFY(setup.harness.selectFile(QStringLiteral("a.txt")));
        // No one, root included, can make a file here. It holds only folders:
        // the next folder dialog opens here, and Qt 6's reads the files it
        // lists (a read of /proc/kmsg would block).
        setup.harness.answerer->queueFileAnswer(QStringLiteral("/proc/sys"));
        setup.harness.button("pushButton")->click();
        QCOMPARE(setup.harness.device.readExactly(27).left(17), frame('D'));
        setup.harness.device.deliver(fileReply("hello"));
        QVERIFY2(setup.harness.statusText().startsWith(QStringLiteral("PC: can't save downloaded file: ")),
                 qPrintable(setup.harness.statusText()));
        QVERIFY(isIdle());
        QVERIFY(linkState().rxBuffer.isEmpty());
        QCOMPARE(linkState().transferSize, 0);
    }

    void folderThatVanishes()
    {
        DownloadSetup setup;
        const QString folder = setup.folder.filePath(QStringLiteral("gone"));
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(setup.harness.connectWithFiles({{"a.txt", 5}}));
        QVERIFY(setup.harness.selectFile(QStringLiteral("a.txt")));
        setup.harness.answerer->queueFileAnswer(folder);
        setup.harness.button("pushButton")->click();
        QCOMPARE(setup.harness.device.readExactly(27).left(17), frame('D'));
        QVERIFY(QDir(folder).removeRecursively());
        setup.harness.device.deliver(fileReply("hello"));
        QCOMPARE(setup.harness.statusText(), QStringLiteral("PC: can't save downloaded file: no such file or directory"));
        QVERIFY(!QFileInfo::exists(folder));
        QVERIFY(isIdle());
    }

    void nameTakenByAFolder()
    {
        DownloadSetup setup;
        QVERIFY(QDir(setup.folder.path()).mkdir(QStringLiteral("a.txt")));
        writeFile(setup.localPath(QStringLiteral("a.txt/keep")), "kept");
        QVERIFY(setup.start("a.txt"));
        setup.harness.device.deliver(fileReply("hello"));
        QCOMPARE(setup.harness.statusText(), QStringLiteral("PC: can't save downloaded file: is a directory"));
        QCOMPARE(readFile(setup.localPath(QStringLiteral("a.txt/keep"))), QByteArray("kept"));
        QCOMPARE(entriesOf(setup.folder.path()), QStringList{QStringLiteral("a.txt")});
    }

    // A full disk shows only when the data is written: the file there stays
    // whole, and the message says why. A file-size limit stands in for the
    // full disk; small files and large fail alike.
    void fullDiskKeepsTheOldFile_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("a few bytes") << 12;
        QTest::newRow("beyond any write buffer") << 70000;
    }
    void fullDiskKeepsTheOldFile()
    {
        QFETCH(int, size);
        DownloadSetup setup;
        writeFile(setup.localPath(QStringLiteral("a.txt")), "old content");
        QVERIFY(setup.start("a.txt"));
        {
            const FileSizeLimit limit(4);
            setup.harness.device.deliver(fileReply(QByteArray(size, 'n')));
            QTRY_VERIFY(isIdle());
        }
        QCOMPARE(setup.harness.statusText(), QStringLiteral("PC: can't save downloaded file: file too large"));
        QCOMPARE(readFile(setup.localPath(QStringLiteral("a.txt"))), QByteArray("old content"));
        QCOMPARE(entriesOf(setup.folder.path()), QStringList{QStringLiteral("a.txt")});
        QVERIFY(isIdle());
    }

    void unsafeDeviceNames_data()
    {
        QTest::addColumn<QByteArray>("deviceName");
        QTest::addColumn<QString>("localName");
        QTest::newRow("folder") << QByteArray("dir/a.txt") << QStringLiteral("dir-a.txt");
        QTest::newRow("dot dot") << QByteArray("..") << QStringLiteral("-..");
        QTest::newRow("climbing") << QByteArray("../../etc/x") << QStringLiteral("..-..-etc-x");
        QTest::newRow("backslash and colon") << QByteArray("a\\b:c") << QStringLiteral("a-b-c");
        QTest::newRow("control") << QByteArray("a\nb\x01") << QStringLiteral("a-b-");
        QTest::newRow("latin-1 byte") << QByteArray("caf\xe9") << QString::fromLatin1("caf\xe9");
        QTest::newRow("too long for the disk") << QByteArray(250, '\xe9') + ".txt"
                                               << QString::fromLatin1(QByteArray(125, '\xe9')) + QStringLiteral(".txt");
    }
    void unsafeDeviceNames()
    {
        QFETCH(QByteArray, deviceName);
        QFETCH(QString, localName);
        DownloadSetup setup;
        QVERIFY(setup.harness.connectWithFiles({{deviceName, 2}}));
        setup.harness.table()->setCurrentCell(0, 1, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        setup.harness.answerer->queueFileAnswer(setup.folder.path());
        setup.harness.button("pushButton")->click();
        const QByteArray path = "/" + deviceName;
        QCOMPARE(setup.harness.device.readExactly(21 + path.size()), frame('D', pathField(path)));
        setup.harness.device.deliver(fileReply("ok"));
        QCOMPARE(setup.harness.statusText(), QStringLiteral("downloading complete"));
        QCOMPARE(entriesOf(setup.folder.path()), QStringList{localName});
        QCOMPARE(readFile(setup.localPath(localName)), QByteArray("ok"));
    }

    void namesBeyondAsciiTravelAsTheyCame()
    {
        DownloadSetup setup;
        const QByteArray utf8 = "r\xc3\xa9sum\xc3\xa9.txt";
        QVERIFY(setup.start(utf8));
        setup.harness.device.deliver(fileReply("cv"));
        QCOMPARE(readFile(setup.localPath(QString::fromUtf8("résumé.txt"))), QByteArray("cv"));
    }

    void cancelledFolderDialog()
    {
        WindowHarness harness;
        QVERIFY(harness.connectWithFiles({{"a.txt", 5}}));
        QVERIFY(harness.selectFile(QStringLiteral("a.txt")));
        harness.answerer->queueFileAnswer(QString());
        harness.button("pushButton")->click();
        QCOMPARE(harness.statusText(), QStringLiteral("PC: empty downloading path"));
        QVERIFY(isIdle());
        QVERIFY(harness.device.staysQuiet());
    }

    void guards()
    {
        WindowHarness harness;
        harness.button("pushButton")->click();
        QCOMPARE(harness.answerer->boxes.size(), 1);
        QCOMPARE(harness.answerer->boxes.at(0).text, QStringLiteral("connect to device, please"));

        QVERIFY(harness.connectToDevice());
        QVERIFY(harness.answerMemory(4096, 0));
        harness.button("pushButton")->click();
        QCOMPARE(harness.answerer->boxes.at(1).icon, QMessageBox::Warning);
        QCOMPARE(harness.answerer->boxes.at(1).text, QStringLiteral("device is busy now: LIST"));
        QCOMPARE(harness.statusText(), QString());

        harness.device.deliver(listingReply({{"a.txt", 5}}));
        harness.button("pushButton")->click();
        QCOMPARE(harness.answerer->boxes.at(2).icon, QMessageBox::Information);
        QCOMPARE(harness.answerer->boxes.at(2).text, QStringLiteral("select file, please"));

        // Current but deselected with Control: nothing to name either.
        QTableWidget *table = harness.table();
        QVERIFY(harness.selectFile(QStringLiteral("a.txt")));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          table->visualRect(table->model()->index(0, 1)).center());
        QCOMPARE(table->currentRow(), 0);
        harness.button("pushButton")->click();
        QCOMPARE(harness.answerer->boxes.size(), 4);
        QCOMPARE(harness.answerer->boxes.at(3).text, QStringLiteral("select file, please"));
        QCOMPARE(harness.answerer->fileDialogsShown, 0);
        QVERIFY(harness.device.staysQuiet());
    }

    void linkLostWhileFolderDialogOpen()
    {
        DownloadSetup setup;
        WindowHarness &harness = setup.harness;
        QVERIFY(harness.connectWithFiles({{"a.txt", 5}}));
        QVERIFY(harness.selectFile(QStringLiteral("a.txt")));
        harness.answerer->setBeforeFileAnswer([&harness] {
            harness.device.hangUp();
            (void)QTest::qWaitFor([] { return !linkState().portOpen; }, 3000);
        });
        harness.answerer->queueFileAnswer(setup.folder.path());
        harness.button("pushButton")->click();
        QCOMPARE(harness.answerer->boxes.size(), 1);
        QCOMPARE(harness.answerer->boxes.at(0).text, QStringLiteral("connect to device, please"));
        QVERIFY(isIdle());
        QVERIFY(entriesOf(setup.folder.path()).isEmpty());
    }
};

QTEST_MAIN(DownloadTest)
#include "tst_download.moc"
