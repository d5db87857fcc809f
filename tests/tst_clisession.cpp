// spiffs-cli's commands run in the test's own process, on a CliSession to
// spiffs-emulator in another, as runCli() runs them: what a command keeps of
// the receiver's replies once it has read them.
#include "clirun.h"
#include "cli/session/clisession.h"
#include "cli/table/commandparser.h"
#include "cli/table/commandtable.h"
#include "emulatorprogram.h"
#include "testfiles.h"

#include "core/devicereply.h"
#include "core/devicesession.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QTemporaryDir>
#include <QtTest/QTest>

using namespace CliTesting;

class CliSessionTest : public QObject
{
    Q_OBJECT

private slots:
    // A command that makes many requests keeps none of their replies: a
    // put --verify of many files must not hold every file it read back.
    void repliesAreNotKept_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QStringList files;
        for (int i = 0; i < 12; ++i)
            files << QStringLiteral("@/f%1.bin").arg(i);
        QTest::newRow("put --verify") << QStringList{"put", "--verify"} + files;
        QTest::newRow("get") << QStringList{"get", "*", "-o", "@/got"};
        QTest::newRow("rm") << QStringList{"rm", "--yes", "*.txt", "notes", "song.mp3"};
        QTest::newRow("backup") << QStringList{"backup", "@/backup"};
        QTest::newRow("sync --checksum") << QStringList{"sync", "--checksum", "@"};
    }
    void repliesAreNotKept()
    {
        QFETCH(QStringList, arguments);
        StoreFolder store;
        EmulatorProgram device({"--dir", store.dir.path()});
        QTemporaryDir local;
        for (int i = 0; i < 12; ++i)
            QVERIFY(!writeLocalFile(local, QStringLiteral("f%1.bin").arg(i), patterned(3000, i)).isEmpty());
        for (QString &argument : arguments)
            argument.replace(QLatin1Char('@'), local.path());

        const CommandLine line = parseCommandLine(QStringList{"spiffs-cli", "-q", "-p", device.port()} + arguments);
        QVERIFY2(line.error.isEmpty(), qPrintable(line.error));
        CliSession session(line);
        CommandOutput output(line);
        session.beginCommand(output, line.row->usesReceiver);
        try {
            line.row->run(CommandContext{line, session, output});
        } catch (const CommandFailure &failure) {
            QFAIL(qPrintable(failure.messages.join(QLatin1Char('\n'))));
        }
        // What was handed to deleteLater() goes now, as at the next wait.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(session.device().findChildren<DeviceReply *>().size(), 0);
    }
};

QTEST_GUILESS_MAIN(CliSessionTest)
#include "tst_clisession.moc"
