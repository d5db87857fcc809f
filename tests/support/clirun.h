// spiffs-cli as a user runs it, in a process of its own, and what the tests
// read back: its exit status and streams, a store folder for the emulator,
// and the bytes a trace recorded.
#ifndef CLIRUN_H
#define CLIRUN_H

#include <QtCore/QByteArray>
#include <QtCore/QProcessEnvironment>
#include <QtCore/QSet>
#include <QtCore/QStringList>
#include <QtCore/QTemporaryDir>

namespace CliTesting {

// Every byte value, 20,000 bytes.
extern const QByteArray bigContent;

struct CliRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QString cliPath();

// The test's environment without the variables that choose a port.
QProcessEnvironment cleanEnvironment();

// Runs spiffs-cli to its end, standard input closed (no terminal).
CliRun runCli(const QStringList &arguments, const QProcessEnvironment &environment = cleanEnvironment(),
              const QString &program = cliPath(), const QStringList &before = QStringList());

// A store folder as the emulator's --dir reads it: a.txt, presets/sw.txt,
// notes, song.mp3 and big.bin.
struct StoreFolder
{
    StoreFolder();
    QStringList files() const;
    QTemporaryDir dir;
};

// The bytes of a trace's records in one direction of one exchange, joined.
QByteArray traced(const QByteArray &trace, char direction, const QByteArray &exchange);
// The exchanges a trace shows, requests and replies alike.
QSet<QByteArray> tracedExchanges(const QByteArray &trace);

} // namespace CliTesting

#endif // CLIRUN_H
