// EmulatorHost on its own: the engine served on a real pseudo-terminal, read
// and written by the test at the slave end as a serial port would be.
#include "emulatorhost.h"
#include "slaveline.h"
#include "testfiles.h"
#include "windowharness.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDeadlineTimer>
#include <QtSerialPort/QSerialPort>
#include <QtTest/QSignalSpy>
#include <QtTest/QTest>

#include <QtCore/QFile>
#include <QtCore/QProcess>
#include <QtCore/QStandardPaths>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace DeviceBytes;

namespace {

// Whether an ordinary user opens path. Root opens past the exclusive-use
// flag, so a test run as root opens as "nobody", to whom it gives the line.
bool opensAsOrdinaryUser(const QString &path)
{
    QStringList command{QStringLiteral("/bin/sh"), QStringLiteral("-c"), QStringLiteral("exec 3<>\"$0\""), path};
    if (::geteuid() == 0) {
        if (::chown(QFile::encodeName(path).constData(), 65534, 65534) != 0)
            return false;
        command = QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                              QStringLiteral("--clear-groups")} + command;
        command.prepend(QStandardPaths::findExecutable(QStringLiteral("setpriv")));
    }
    QProcess open;
    open.start(command.takeFirst(), command);
    return open.waitForFinished(10000) && open.exitStatus() == QProcess::NormalExit && open.exitCode() == 0;
}

} // namespace

class EmulatorHostTest : public QObject
{
    Q_OBJECT

private slots:
    void largeReplyArrivesWhole_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("split");
        QTest::addColumn<int>("gapMs");
        QTest::newRow("unpaced") << 0 << (1 << 20) << 0 << 0;
        QTest::newRow("2 Mbaud") << 2000000 << 20000 << 0 << 0;
        // Written in batches, pieces and gaps kept.
        QTest::newRow("115200 baud in pieces") << 115200 << 1500 << 500 << 2;
    }
    void largeReplyArrivesWhole()
    {
        QFETCH(int, baud);
        QFETCH(int, size);
        QFETCH(int, split);
        QFETCH(int, gapMs);
        EngineOptions options;
        options.baud = baud;
        options.splitBytes = split;
        options.gapMs = gapMs;
        EmulatorHost host(options);
        const QByteArray content = patterned(size, 5);
        QVERIFY(host.engine().store().store("big.bin", content));
        QVERIFY(host.start());
        SlaveLine port(host.portName());
        QVERIFY(port.isOpen());
        port.write(frame('D', pathField("/big.bin")));
        const QByteArray reply = port.read(4 + content.size());
        QCOMPARE(reply.size(), 4 + content.size());
        QVERIFY(reply == be32(quint32(content.size())) + content);
    }

    void uploadThroughTheLine()
    {
        EngineOptions options;
        options.writeDelayUs = 200;
        options.splitBytes = 1;
        EmulatorHost host(options);
        QVERIFY(host.start());
        SlaveLine port(host.portName());
        const QByteArray content = patterned(1000, 6);
        port.write(uploadStartFrame("/up.bin", quint32(content.size())));
        QCOMPARE(port.read(1), QByteArray("A"));
        for (int at = 0; at < content.size(); at += 32) {
            const QByteArray chunk = content.mid(at, 32);
            port.write(frame('U', QByteArray(1, char(chunk.size())) + chunk));
            QCOMPARE(port.read(1), QByteArray("A"));
        }
        port.write(frame('u'));
        QCOMPARE(port.read(1), QByteArray("u"));
        QCOMPARE(host.engine().store().find("up.bin")->content, content);
    }

    void hangUpAndPlugIn()
    {
        EmulatorHost host;
        QSignalSpy hungUp(&host, &EmulatorHost::lineHungUp);
        QSignalSpy pluggedIn(&host, &EmulatorHost::pluggedIn);
        QVERIFY(host.start());
        const QString first = host.portName();
        SlaveLine port(first);
        port.write(frame('M'));
        QCOMPARE(port.read(8).size(), 8);

        host.hangUp();
        QVERIFY(!host.isLineUp());
        QCOMPARE(host.portName(), QString());
        QCOMPARE(hungUp.count(), 1);
        port.read(1, 2000);
        QVERIFY(port.hungUp());

        QVERIFY(host.plugIn());
        QCOMPARE(pluggedIn.count(), 1);
        QCOMPARE(pluggedIn.at(0).at(0).toString(), host.portName());
        QVERIFY(host.portName() != first); // the old one is still held by the test
        SlaveLine again(host.portName());
        again.write(frame('M'));
        QCOMPARE(again.read(8).size(), 8);
    }

    void hangUpAfterDeliversTheLastBytes()
    {
        EngineOptions options;
        options.hangUpAfter = 11;
        EmulatorHost host(options);
        QVERIFY(host.engine().store().store("a.txt", "abc"));
        QVERIFY(host.start());
        QSignalSpy hungUp(&host, &EmulatorHost::lineHungUp);
        SlaveLine port(host.portName());
        port.write(frame('M') + frame('L'));
        QCOMPARE(port.read(100), be32(DeviceStore::DefaultCapacity) + be32(512) + be32(13).left(3));
        QVERIFY(port.hungUp());
        QCOMPARE(hungUp.count(), 1);
    }

    void openedFilesAreSignalled()
    {
        EmulatorHost host;
        QVERIFY(host.engine().store().store("page.html", "<p>"));
        QVERIFY(host.engine().store().store("my song.mp3", ""));
        QVERIFY(host.start());
        QSignalSpy opened(&host, &EmulatorHost::opened);
        SlaveLine port(host.portName());
        port.write(frame('X', pathField("/page.html")) + frame('X', pathField("/page.bin"))
                   + frame('X', pathField("/my song.mp3")));
        QCOMPARE(port.read(3), QByteArray("XxX"));
        QCOMPARE(opened.count(), 2);
        QCOMPARE(opened.at(0).at(0).toString(), QStringLiteral("/page.html"));
        QCOMPARE(opened.at(1).at(0).toString(), QStringLiteral("/my song.mp3"));
    }

    void bootTextOnEveryOpen()
    {
        EngineOptions options;
        options.bootOnOpen = true;
        EmulatorHost host(options);
        QVERIFY(host.start());
        QByteArray banner;
        for (const DeviceEngine::BannerPiece &piece : DeviceEngine::bootBanner())
            banner += piece.text;
        for (int open = 1; open <= 2; ++open) {
            SlaveLine client(host.portName());
            QCOMPARE(client.read(banner.size()), banner);
            client.write(frame('M'));
            QCOMPARE(client.read(8).size(), 8);
            // Not read: the next opener does not get it.
            client.write(frame('L'));
            QTRY_VERIFY(host.engine().framesHandled() == 2 * open);
        }
    }

    // A paced receiver goes on sending while the port is closed, as a real
    // one behind its USB bridge does; what it sends meanwhile is lost, not
    // kept for the next opener, and the rest arrives after the reopen.
    void theRestIsLostWhileThePortIsClosed()
    {
        EngineOptions options;
        options.baud = 115200;
        EmulatorHost host(options);
        const QByteArray content = patterned(60000, 8);
        QVERIFY(host.engine().store().store("big.bin", content));
        QVERIFY(host.start());
        const QByteArray reply = be32(quint32(content.size())) + content;
        constexpr int ClosedMs = 2500;

        QSerialPort port(host.portName());
        QVERIFY(port.open(QIODevice::ReadWrite));
        port.write(frame('D', pathField("/big.bin")));
        QByteArray first;
        QVERIFY(QTest::qWaitFor([&] { return (first += port.readAll()).size() >= 2000; }, 10000));
        port.close();
        QTest::qWait(ClosedMs);

        QVERIFY(port.open(QIODevice::ReadWrite));
        port.clear(QSerialPort::AllDirections);
        QByteArray rest;
        QVERIFY(QTest::qWaitFor([&] { return (rest += port.readAll()).endsWith(content.right(100)); }, 10000));
        QVERIFY(reply.endsWith(rest));
        // At 11520 bytes a second, most of what fell due while closed is gone.
        const qint64 lost = reply.size() - first.size() - rest.size();
        QVERIFY2(lost >= ClosedMs * 11520 / 1000 * 8 / 10, qPrintable(QString::number(lost)));
    }

    // A client that goes without clearing the exclusive-use flag (killed,
    // or careless) leaves it on the line, which the host keeps open: every
    // later open failed as busy. Once the last client has gone the host
    // clears it.
    void lineFreeOnceItsClientHasGone()
    {
        if (::geteuid() == 0 && QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            QSKIP("run as root, which opens past the flag, and setpriv (util-linux) is not there to drop it");
        EmulatorHost host;
        QVERIFY(host.start());
        const QString path = host.portName();
        // As QSerialPort opens it, and as a killed client leaves it.
        const int client = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(client >= 0 && ::ioctl(client, TIOCEXCL) == 0);
        QVERIFY(!opensAsOrdinaryUser(path));
        ::close(client);
        QTRY_VERIFY_WITH_TIMEOUT(opensAsOrdinaryUser(path), 5000);
    }

    void startFailsOnAMissingFolder()
    {
        EngineOptions options;
        options.folder = QStringLiteral("/nonexistent/store");
        EmulatorHost host(options);
        QVERIFY(!host.start());
        QVERIFY(host.errorString().contains(QLatin1String("no such folder")));
        QCOMPARE(host.portName(), QString());
    }
};

QTEST_GUILESS_MAIN(EmulatorHostTest)
#include "tst_emulatorhost.moc"
