// Hostile input through the window: a device whose names are markup, whose
// sizes no receiver could send; a user who picks a pipe or a device to
// upload; news that arrives while a refusal box is open.
#include "link/linkstate.h"
#include "link/operation.h"
#include "testfiles.h"
#include "windowharness.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>
#include <QtTest/QTest>
#include <QtWidgets/QPushButton>

#include <sys/stat.h>

using namespace DeviceBytes;

namespace {

bool isIdle()
{
    return linkState().currentOperation == Operation::Idle;
}

} // namespace

class HostileTest : public QObject
{
    Q_OBJECT

private slots:
    void namesAreShownLiterally_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("bold tag") << QByteArray("<b>a.txt");
        QTest::newRow("entity") << QByteArray("a&lt;b.txt");
        QTest::newRow("whole document") << QByteArray("<html><i>x</i></html>.txt");
    }
    void namesAreShownLiterally()
    {
        QFETCH(QByteArray, name);
        WindowHarness harness;
        QVERIFY(harness.connectWithFiles({{name, 1}}));
        QVERIFY(harness.selectFile(QString::fromUtf8(name)));
        harness.answerer->queueBoxAnswer(QMessageBox::Yes);
        harness.button("pushButton_4")->click();
        QCOMPARE(harness.answerer->boxes.size(), 1);
        const ShownBox box = harness.answerer->boxes.at(0);
        QCOMPARE(box.text, QStringLiteral("Do you want to delete %1?").arg(QString::fromUtf8(name)));
        QCOMPARE(box.textFormat, Qt::PlainText);
        // Yes removes exactly the file that was shown.
        const QByteArray path = "/" + name;
        QCOMPARE(harness.device.readExactly(17 + 4 + path.size()), frame('R', pathField(path)));
    }

    void onlyRegularFilesAreUploaded_data()
    {
        QTest::addColumn<QString>("swap");
        QTest::newRow("named pipe") << QStringLiteral("fifo");
        QTest::newRow("character device") << QStringLiteral("device");
        QTest::newRow("directory") << QStringLiteral("directory");
        QTest::newRow("vanished") << QStringLiteral("vanished");
    }
    void onlyRegularFilesAreUploaded()
    {
        // The user picks a plain file, which becomes something else before
        // the program opens it.
        QFETCH(QString, swap);
        WindowHarness harness;
        QVERIFY(harness.connectWithFiles({}));
        QTemporaryDir folder;
        const QString path = writeLocalFile(folder, QStringLiteral("pick.txt"), "xy");
        harness.answerer->setAfterFileAnswer([path, swap] {
            QFile::remove(path);
            const QByteArray local = QFile::encodeName(path);
            if (swap == QLatin1String("fifo"))
                ::mkfifo(local.constData(), 0600);
            else if (swap == QLatin1String("device"))
                QFile::link(QStringLiteral("/dev/zero"), path);
            else if (swap == QLatin1String("directory"))
                QDir().mkdir(path);
        });
        harness.answerer->queueFileAnswer(path);
        harness.button("pushButton_2")->click();
        QCOMPARE(harness.statusText(), QStringLiteral("PC: can't open uploading file"));
        QVERIFY(isIdle());
        QVERIFY(harness.device.staysQuiet());
    }

    void sizeBeyondCapacityIsRefused_data()
    {
        QTest::addColumn<quint32>("announced");
        QTest::newRow("one byte more than the capacity and the spare blocks") << 4096u + 8448u + 1u;
        QTest::newRow("2 GiB") << 0x7FFFFFFFu;
    }
    void sizeBeyondCapacityIsRefused()
    {
        QFETCH(quint32, announced);
        WindowHarness harness;
        QVERIFY(harness.connectWithFiles({{"a.txt", 1}}, 4096, 0));
        QTemporaryDir folder;
        const QString local = writeLocalFile(folder, QStringLiteral("a.txt"), "old");
        QVERIFY(harness.selectFile(QStringLiteral("a.txt")));
        harness.answerer->queueFileAnswer(folder.path());
        harness.button("pushButton")->click();
        QCOMPARE(harness.device.readExactly(27), frame('D', pathField("/a.txt")));
        harness.device.deliver(be32(announced) + QByteArray(4096, 'z'));
        QCOMPARE(harness.statusText(), QStringLiteral("ESP32: bad file size"));
        QVERIFY(isIdle());
        QCOMPARE(linkState().rxBuffer.capacity(), 0);
        QCOMPARE(readLocalFile(local), QByteArray("old"));
    }

    void listingBeyondCapacityIsRefused_data()
    {
        // 4096 bytes are 16 pages: at most 16 files of 8 + 255 bytes each.
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("rowsKept");
        QTest::newRow("longer than 16 entries can be")
                << be32(16 * 263 + 1) + listingEntries({{"a.txt", 1}}) << 0;
        QTest::newRow("more files than pages")
                << listingReply(QVector<FileEntry>(17, FileEntry{"", 0})) << 16;
    }
    void listingBeyondCapacityIsRefused()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, rowsKept);
        WindowHarness harness;
        QVERIFY(harness.connectToDevice());
        QVERIFY(harness.answerMemory(4096, 0));
        harness.device.deliver(reply);
        QCOMPARE(harness.statusText(), QStringLiteral("ESP32: bad file list"));
        QVERIFY(isIdle());
        QCOMPARE(harness.tableNames().size(), rowsKept);
        QCOMPARE(linkState().rxBuffer.capacity(), 0);
    }

    void newsUnderAnOpenBoxStays_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("news");
        QTest::addColumn<QString>("expected");
        QTest::newRow("busy box, download completes")
                << QStringLiteral("pushButton_8") << QStringLiteral("reply") << QStringLiteral("downloading complete");
        QTest::newRow("busy box, line lost")
                << QStringLiteral("pushButton_4") << QStringLiteral("hang-up") << QStringLiteral("ESP32: connection lost");
    }
    void newsUnderAnOpenBoxStays()
    {
        QFETCH(QString, button);
        QFETCH(QString, news);
        QFETCH(QString, expected);
        WindowHarness harness;
        QVERIFY(harness.connectWithFiles({{"a.txt", 1}}));
        QTemporaryDir folder;
        QVERIFY(harness.selectFile(QStringLiteral("a.txt")));
        harness.answerer->queueFileAnswer(folder.path());
        harness.button("pushButton")->click();
        QCOMPARE(harness.device.readExactly(27), frame('D', pathField("/a.txt")));

        harness.answerer->setBeforeBoxAnswer([&harness, news] {
            if (news == QLatin1String("reply"))
                harness.device.deliver(be32(1) + "x");
            else
                harness.device.hangUp();
            QTest::qWait(50); // a lost line is reported from the event loop
        });
        harness.button(button.toLatin1().constData())->click();
        QCOMPARE(harness.answerer->boxes.size(), 1);
        QCOMPARE(harness.statusText(), expected);
    }

    void newsUnderAConfirmationStays()
    {
        WindowHarness harness;
        QVERIFY(harness.connectWithFiles({{"a.txt", 1}}));
        harness.answerer->setBeforeBoxAnswer([&harness] {
            harness.device.hangUp();
            QTest::qWait(50);
        });
        harness.answerer->queueBoxAnswer(QMessageBox::Cancel);
        harness.button("pushButton_5")->click();
        QCOMPARE(harness.answerer->boxes.at(0).statusWhileShown, QStringLiteral("formatting , please wait..."));
        QCOMPARE(harness.statusText(), QStringLiteral("ESP32: connection lost"));
    }
};

QTEST_MAIN(HostileTest)
#include "tst_hostile.moc"
