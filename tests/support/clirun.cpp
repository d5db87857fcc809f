#include "clirun.h"

#include "testfiles.h"

#include <QtCore/QProcess>

namespace CliTesting {

const QByteArray bigContent = patterned(20000, 9);

QString cliPath()
{
    return QStringLiteral(CLI_PATH);
}

QProcessEnvironment cleanEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("SPIFFS_PORT"));
    environment.remove(QStringLiteral("SPIFFS_MANAGER_PORTS"));
    return environment;
}

CliRun runCli(const QStringList &arguments, const QProcessEnvironment &environment, const QString &program,
              const QStringList &before)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, before + arguments);
    process.closeWriteChannel();
    CliRun run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// A store folder as the emulator's --dir reads it.
StoreFolder::StoreFolder()
{
    writeLocalFile(dir, QStringLiteral("a.txt"), "alpha");
    writeLocalFile(dir, QStringLiteral("presets%2Fsw.txt"), "7200 kHz");
    writeLocalFile(dir, QStringLiteral("notes"), "n");
    writeLocalFile(dir, QStringLiteral("song.mp3"), "ID3");
    writeLocalFile(dir, QStringLiteral("big.bin"), bigContent);
}

QStringList StoreFolder::files() const
{
    return folderEntries(dir.path());
}

// The bytes of a trace's records in one direction of one exchange, joined.
QByteArray traced(const QByteArray &trace, char direction, const QByteArray &exchange)
{
    QByteArray bytes;
    bool inRecord = false;
    for (const QByteArray &line : trace.split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        QList<QByteArray> fields = line.left(line.indexOf('|')).simplified().split(' ');
        // A record's time fills the first eight columns; its continuation
        // lines start blank.
        if (!line.startsWith("        ")) {
            inRecord = fields.value(1) == QByteArray(1, direction) && fields.value(2) == exchange;
            fields = fields.mid(4);
        }
        if (inRecord)
            bytes += QByteArray::fromHex(fields.join());
    }
    return bytes;
}

// The exchanges a trace shows, requests and replies alike.
QSet<QByteArray> tracedExchanges(const QByteArray &trace)
{
    QSet<QByteArray> exchanges;
    for (const QByteArray &line : trace.split('\n')) {
        const QByteArray exchange = line.simplified().split(' ').value(2);
        if (!line.startsWith('#') && !line.startsWith("        ") && !exchange.isEmpty())
            exchanges.insert(exchange);
    }
    return exchanges;
}

} // namespace CliTesting
