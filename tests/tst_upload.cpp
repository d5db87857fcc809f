// Upload through the window, with a scripted device on a pseudo-terminal and
// real files on disk.
#include "link/linkstate.h"
#include "link/operation.h"
#include "windowharness.h"

#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>
#include <QtTest/QSignalSpy>
#include <QtTest/QTest>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QStatusBar>

#include <unistd.h>

using namespace DeviceBytes;

namespace {

QByteArray patterned(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + 3) & 0xFF);
    return bytes;
}

QString writeFile(const QTemporaryDir &folder, const QString &name, const QByteArray &content)
{
    const QString path = folder.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return path;
}

QByteArray chunkFrame(const QByteArray &chunk)
{
    return frame('U', char(chunk.size()) + chunk);
}

struct UploadSetup
{
    WindowHarness harness;
    QTemporaryDir folder;
    QSignalSpy *messages = nullptr;

    ~UploadSetup() { delete messages; }

    // Connected, idle, with total and used as the last memory report.
    bool connect(quint32 total = 1000000, quint32 used = 0)
    {
        if (!harness.connectWithFiles({{"old.txt", 1}}, total, used))
            return false;
        messages = new QSignalSpy(harness.statusBar(), &QStatusBar::messageChanged);
        return true;
    }
    void pick(const QString &path)
    {
        harness.answerer->queueFileAnswer(path);
        harness.button("pushButton_2")->click();
    }
    QStringList statuses() const
    {
        QStringList shown;
        for (const QList<QVariant> &message : *messages)
            shown << message.at(0).toString();
        return shown;
    }
};

} // namespace

class UploadTest : public QObject
{
    Q_OBJECT

private slots:
    void hundredBytesInChunks()
    {
        UploadSetup setup;
        QVERIFY(setup.connect());
        const QByteArray content = patterned(100);
        setup.pick(writeFile(setup.folder, QStringLiteral("data.bin"), content));
        PtyDevice &device = setup.harness.device;
        QCOMPARE(device.readSizeOf(uploadStartFrame("/data.bin", 100)), uploadStartFrame("/data.bin", 100));
        QCOMPARE(linkState().currentOperation, Operation::Upload);
        QCOMPARE(setup.harness.statusText(), QStringLiteral("uploading..."));

        for (int offset = 0; offset < 100; offset += 32) {
            device.deliver("A");
            const QByteArray chunk = content.mid(offset, 32);
            QCOMPARE(device.readExactly(18 + chunk.size()), chunkFrame(chunk));
            QVERIFY(device.staysQuiet(20));
        }
        device.deliver("A");
        QCOMPARE(device.readSizeOf(frame('u')), frame('u'));
        device.deliver("u");
        QCOMPARE(device.readSizeOf(frame('M')), frame('M'));
        QCOMPARE(linkState().currentOperation, Operation::Memory);
        QCOMPARE(setup.statuses(),
                 (QStringList{QStringLiteral("uploading..."), QStringLiteral("uploaded 0%"),
                              QStringLiteral("uploaded 32%"), QStringLiteral("uploaded 64%"),
                              QStringLiteral("uploaded 96%"), QStringLiteral("uploaded 100%"),
                              QStringLiteral("uploading complete")}));

        // The refresh that follows shows the new file; the message stays.
        QVERIFY(setup.harness.answerMemory(1000000, 512));
        device.deliver(listingReply({{"old.txt", 1}, {"data.bin", 100}}));
        QCOMPARE(setup.harness.tableNames(), (QStringList{QStringLiteral("old.txt"), QStringLiteral("data.bin")}));
        QCOMPARE(setup.harness.label("availableMemory")->text(), QStringLiteral("999488"));
        QCOMPARE(setup.harness.statusText(), QStringLiteral("uploading complete"));
        QCOMPARE(linkState().currentOperation, Operation::Idle);
    }

    void chunkBoundaries_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QList<int>>("chunks");
        QTest::newRow("1") << 1 << QList<int>{1};
        QTest::newRow("31") << 31 << QList<int>{31};
        QTest::newRow("32") << 32 << QList<int>{32};
        QTest::newRow("33") << 33 << QList<int>{32, 1};
        QTest::newRow("65") << 65 << QList<int>{32, 32, 1};
    }
    void chunkBoundaries()
    {
        QFETCH(int, size);
        QFETCH(QList<int>, chunks);
        UploadSetup setup;
        QVERIFY(setup.connect());
        const QByteArray content = patterned(size);
        setup.pick(writeFile(setup.folder, QStringLiteral("f.bin"), content));
        PtyDevice &device = setup.harness.device;
        QCOMPARE(device.readSizeOf(uploadStartFrame("/f.bin", quint32(size))), uploadStartFrame("/f.bin", quint32(size)));
        int offset = 0;
        for (int count : chunks) {
            device.deliver("A");
            QCOMPARE(device.readExactly(18 + count), chunkFrame(content.mid(offset, count)));
            offset += count;
        }
        device.deliver("A");
        QCOMPARE(device.readSizeOf(frame('u')), frame('u'));
        QCOMPARE(setup.harness.statusText(), QStringLiteral("uploaded 100%"));
    }

    void emptyFile()
    {
        UploadSetup setup;
        QVERIFY(setup.connect());
        setup.pick(writeFile(setup.folder, QStringLiteral("empty.txt"), QByteArray()));
        PtyDevice &device = setup.harness.device;
        QCOMPARE(device.readSizeOf(uploadStartFrame("/empty.txt", 0)), uploadStartFrame("/empty.txt", 0));
        device.deliver("A");
        QCOMPARE(device.readSizeOf(frame('u')), frame('u'));
        QCOMPARE(setup.harness.statusText(), QStringLiteral("uploaded 100%"));
        device.deliver("u");
        QCOMPARE(device.readSizeOf(frame('M')), frame('M'));
        QCOMPARE(setup.harness.statusText(), QStringLiteral("uploading complete"));
    }

    void deviceGivesUp()
    {
        UploadSetup setup;
        QVERIFY(setup.connect());
        setup.pick(writeFile(setup.folder, QStringLiteral("a.txt"), "abc"));
        PtyDevice &device = setup.harness.device;
        QCOMPARE(device.readSizeOf(uploadStartFrame("/a.txt", 3)), uploadStartFrame("/a.txt", 3));
        device.deliver("a");
        QCOMPARE(device.readSizeOf(frame('M')), frame('M'));
        QCOMPARE(setup.harness.statusText(), QStringLiteral("uploading stoped"));
        QCOMPARE(linkState().currentOperation, Operation::Memory);
        QCOMPARE(linkState().transferSize, 0);
    }

    void strayBytesDoNotStall()
    {
        UploadSetup setup;
        QVERIFY(setup.connect());
        const QByteArray content = patterned(40);
        setup.pick(writeFile(setup.folder, QStringLiteral("a.txt"), content));
        PtyDevice &device = setup.harness.device;
        QCOMPARE(device.readSizeOf(uploadStartFrame("/a.txt", 40)), uploadStartFrame("/a.txt", 40));
        device.deliver("Z");
        QVERIFY(device.staysQuiet());
        QCOMPARE(linkState().currentOperation, Operation::Upload);
        device.deliver("\r\n");
        QVERIFY(device.staysQuiet());
        // An acknowledgement with noise after it still moves on by one chunk.
        device.deliver("Ajunk");
        QCOMPARE(device.readSizeOf(chunkFrame(content.left(32))), chunkFrame(content.left(32)));
        QVERIFY(device.staysQuiet());
        device.deliver("A");
        QCOMPARE(device.readSizeOf(chunkFrame(content.mid(32))), chunkFrame(content.mid(32)));
    }

    void namesAreCleaned_data()
    {
        QTest::addColumn<QString>("localName");
        QTest::addColumn<QByteArray>("devicePath");
        QTest::newRow("spaces") << QStringLiteral("my file (1).txt") << QByteArray("/myfile(1).txt");
        QTest::newRow("accents") << QString::fromUtf8("résumé.txt") << QByteArray("/rsum.txt");
        QTest::newRow("two types") << QStringLiteral("archive.tar.gz") << QByteArray("/archive.tar.gz");
        QTest::newRow("no type") << QStringLiteral("README") << QByteArray("/README");
        QTest::newRow("nothing left") << QStringLiteral("###") << QByteArray("/");
        const QString longName = QString(300, QLatin1Char('n'));
        QTest::newRow("long") << longName.left(250) << "/" + QByteArray(250, 'n');
    }
    void namesAreCleaned()
    {
        QFETCH(QString, localName);
        QFETCH(QByteArray, devicePath);
        UploadSetup setup;
        QVERIFY(setup.connect());
        setup.pick(writeFile(setup.folder, localName, "xy"));
        QCOMPARE(setup.harness.device.readExactly(25 + devicePath.size()), uploadStartFrame(devicePath, 2));
    }

    void dotRuleRefuses_data()
    {
        QTest::addColumn<QString>("localName");
        QTest::newRow("hidden") << QStringLiteral(".hidden");
        QTest::newRow("trailing dot") << QStringLiteral("name.");
        QTest::newRow("double dot") << QStringLiteral("a..b");
    }
    void dotRuleRefuses()
    {
        QFETCH(QString, localName);
        UploadSetup setup;
        QVERIFY(setup.connect());
        setup.harness.statusBar()->showMessage(QStringLiteral("before"));
        setup.pick(writeFile(setup.folder, localName, "xy"));
        QCOMPARE(setup.harness.answerer->boxes.size(), 1);
        QCOMPARE(setup.harness.answerer->boxes.at(0).icon, QMessageBox::Critical);
        QCOMPARE(setup.harness.answerer->boxes.at(0).text, QStringLiteral("incorrect file name"));
        QCOMPARE(setup.harness.statusText(), QStringLiteral("before"));
        QCOMPARE(linkState().currentOperation, Operation::Idle);
        QVERIFY(setup.harness.device.staysQuiet());
    }

    void freeSpaceBoundary()
    {
        UploadSetup setup;
        QVERIFY(setup.connect(1000, 900)); // 100 bytes free
        setup.harness.statusBar()->showMessage(QStringLiteral("before"));
        setup.pick(writeFile(setup.folder, QStringLiteral("equal.bin"), patterned(100)));
        QCOMPARE(setup.harness.answerer->boxes.size(), 1);
        QCOMPARE(setup.harness.answerer->boxes.at(0).icon, QMessageBox::Warning);
        QCOMPARE(setup.harness.answerer->boxes.at(0).text, QStringLiteral("ESP32: not enough free space"));
        QCOMPARE(setup.harness.statusText(), QStringLiteral("before"));
        QCOMPARE(linkState().currentOperation, Operation::Idle);
        QVERIFY(setup.harness.device.staysQuiet());

        setup.pick(writeFile(setup.folder, QStringLiteral("less.bin"), patterned(99)));
        QCOMPARE(setup.harness.device.readSizeOf(uploadStartFrame("/less.bin", 99)), uploadStartFrame("/less.bin", 99));
        QCOMPARE(setup.harness.answerer->boxes.size(), 1);
    }

    void freeSpaceComesFromTheLastReport()
    {
        UploadSetup setup;
        QVERIFY(setup.connect(1000, 900));
        setup.harness.label("availableMemory")->setText(QStringLiteral("999999"));
        setup.pick(writeFile(setup.folder, QStringLiteral("big.bin"), patterned(500)));
        QCOMPARE(setup.harness.answerer->boxes.size(), 1);
        QCOMPARE(setup.harness.answerer->boxes.at(0).text, QStringLiteral("ESP32: not enough free space"));
    }

    void fileThatVanishesAfterThePick()
    {
        UploadSetup setup;
        QVERIFY(setup.connect());
        const QString path = writeFile(setup.folder, QStringLiteral("gone.txt"), "xy");
        setup.harness.answerer->setAfterFileAnswer([path] { QFile::remove(path); });
        setup.pick(path);
        QCOMPARE(setup.harness.statusText(), QStringLiteral("PC: can't open uploading file"));
        QCOMPARE(linkState().currentOperation, Operation::Idle);
        QVERIFY(setup.harness.device.staysQuiet());
    }

    void fileThatCannotBeOpened()
    {
        if (geteuid() == 0)
            QSKIP("file permissions do not bind root");
        UploadSetup setup;
        QVERIFY(setup.connect());
        const QString path = writeFile(setup.folder, QStringLiteral("locked.txt"), "xy");
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        setup.pick(path);
        QCOMPARE(setup.harness.statusText(), QStringLiteral("PC: can't open uploading file"));
        QVERIFY(setup.harness.device.staysQuiet());
    }

    void fileThatOpensButCannotBeRead()
    {
        // Opens for anyone, root included, but reading it fails.
        UploadSetup setup;
        QVERIFY(setup.connect());
        setup.pick(QStringLiteral("/proc/self/mem"));
        QCOMPARE(setup.harness.answerer->fileDialogsShown, 1);
        QCOMPARE(setup.harness.statusText(), QStringLiteral("PC: can't read uploading file"));
        QCOMPARE(linkState().currentOperation, Operation::Idle);
        QVERIFY(setup.harness.device.staysQuiet());
    }

    void cancelledDialogAndGuards()
    {
        UploadSetup setup;
        setup.harness.button("pushButton_2")->click();
        QCOMPARE(setup.harness.answerer->boxes.at(0).text, QStringLiteral("connect to device, please"));
        QVERIFY(setup.harness.connectToDevice());
        setup.harness.button("pushButton_2")->click();
        QCOMPARE(setup.harness.answerer->boxes.at(1).text, QStringLiteral("device is busy now: MEMORY"));
        QCOMPARE(setup.harness.answerer->fileDialogsShown, 0);
        QVERIFY(setup.harness.answerMemory(1000, 0));
        setup.harness.device.deliver(listingReply({}));

        setup.pick(QString());
        QCOMPARE(setup.harness.answerer->fileDialogsShown, 1);
        QCOMPARE(setup.harness.statusText(), QStringLiteral("ESP32: empty uploading path"));
        QCOMPARE(linkState().currentOperation, Operation::Idle);
        QVERIFY(setup.harness.device.staysQuiet());
    }

    void linkLostWhileFileDialogOpen()
    {
        UploadSetup setup;
        QVERIFY(setup.connect());
        WindowHarness &harness = setup.harness;
        harness.answerer->setBeforeFileAnswer([&harness] {
            harness.device.hangUp();
            (void)QTest::qWaitFor([] { return !linkState().portOpen; }, 3000);
        });
        setup.pick(writeFile(setup.folder, QStringLiteral("a.txt"), "xy"));
        QCOMPARE(harness.answerer->boxes.size(), 1);
        QCOMPARE(harness.answerer->boxes.at(0).text, QStringLiteral("connect to device, please"));
        QCOMPARE(linkState().currentOperation, Operation::Idle);
    }
};

QTEST_MAIN(UploadTest)
#include "tst_upload.moc"
