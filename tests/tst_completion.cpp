// spiffs-cli's shell completions, as the build makes them from its table of
// commands: bash's completion function run on partial lines, the candidates
// it offers checked; bash and zsh typed into on a terminal, the line they
// pass on checked; the ports each shell offers; each option's line in zsh
// and fish; zsh's and fish's read by their shells without errors.
#include "testfiles.h"

#include <QtCore/QDeadlineTimer>
#include <QtCore/QDir>
#include <QtCore/QProcess>
#include <QtCore/QRegularExpression>
#include <QtCore/QStandardPaths>
#include <QtCore/QTemporaryDir>
#include <QtTest/QTest>

namespace {

const QString generated = QStringLiteral(BUILD_DIR "/generated/");

// The test's ports: one the system does not list, and one named as the
// receiver's bridge is on macOS, given second.
const QString namedPorts = QStringLiteral("/tmp/spiffs-test-port:/tmp/spiffs-test/cu.SLAB_USBtoUART");

// The environment completions run in: the built spiffs-cli first in PATH.
QProcessEnvironment shellEnvironment(const QString &ports)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SPIFFS_MANAGER_PORTS"), ports);
    environment.remove(QStringLiteral("SPIFFS_PORT"));
    environment.insert(QStringLiteral("PATH"), QStringLiteral(BUILD_DIR ":") + environment.value(QStringLiteral("PATH")));
    return environment;
}

// An interactive bash or zsh on a terminal (script(1) gives it one), as a
// user types into it. spiffs-cli is a shell function there that prints the
// words it was given, so a typed line shows how the shell completed it.
class TypedShell
{
public:
    TypedShell(const QString &shell, const QString &folder)
    {
        const QByteArray words = "spiffs-cli() { printf 'WORD[%s]\\n' \"$@\"; echo END-OF-WORDS; }\necho SHELL-READY\n";
        QProcessEnvironment environment = shellEnvironment(namedPorts);
        environment.insert(QStringLiteral("INPUTRC"), QStringLiteral("/dev/null"));
        QString command;
        if (shell == QLatin1String("zsh")) {
            // Read from $ZDOTDIR/.zshrc; compinit finds _spiffs-cli on fpath.
            const QString rc = writeLocalFile(m_home, QStringLiteral(".zshrc"),
                                              "PS1='$ '\nunsetopt beep\nfpath=('" + generated.toUtf8()
                                                      + "zsh' $fpath)\nautoload -Uz compinit && compinit -u -D\n" + words);
            environment.insert(QStringLiteral("ZDOTDIR"), m_home.path());
            environment.insert(QStringLiteral("TERM"), QStringLiteral("xterm"));
            command = rc.isEmpty() ? QString() : QStringLiteral("zsh -i");
        } else {
            const QString rc = writeLocalFile(m_home, QStringLiteral("rc"),
                                              "PS1='$ '\nbind 'set enable-bracketed-paste off'\nsource '" + generated.toUtf8()
                                                      + "bash/spiffs-cli'\n" + words);
            environment.insert(QStringLiteral("TERM"), QStringLiteral("dumb"));
            command = rc.isEmpty() ? QString() : QStringLiteral("bash --noprofile --rcfile '%1' -i").arg(rc);
        }
        m_bash.setProcessEnvironment(environment);
        m_bash.setWorkingDirectory(folder);
        m_bash.start(QStringLiteral("script"), {QStringLiteral("-qfec"), command, QStringLiteral("/dev/null")});
        // Keys typed before the prompt may be dropped (zsh flushes typeahead).
        m_ready = !command.isEmpty() && readUntil("SHELL-READY\r\n") && readUntil("$ ");
    }
    ~TypedShell()
    {
        m_bash.kill();
        m_bash.waitForFinished();
    }

    bool isReady() const { return m_ready; }

    // Types keys and Enter; the words spiffs-cli was given.
    QStringList wordsAfterTyping(const QByteArray &keys)
    {
        m_seen.clear();
        m_bash.write(keys + '\n');
        if (!readUntil("END-OF-WORDS\r\n"))
            return {QStringLiteral("(no answer; the terminal showed: %1)").arg(QString::fromUtf8(m_seen))};
        QStringList words;
        const QRegularExpression word(QStringLiteral("^WORD\\[(.*)\\]\r?$"), QRegularExpression::MultilineOption);
        for (auto match = word.globalMatch(QString::fromUtf8(m_seen)); match.hasNext();)
            words << match.next().captured(1);
        return words;
    }

private:
    // Reads the terminal until text has come, or 30 s have passed.
    bool readUntil(const QByteArray &text)
    {
        const QDeadlineTimer deadline(30000);
        while (!m_seen.contains(text)) {
            if (!m_bash.waitForReadyRead(int(deadline.remainingTime())))
                return false;
            m_seen += m_bash.readAll();
        }
        return true;
    }

    QTemporaryDir m_home;
    QProcess m_bash;
    bool m_ready = false;
    QByteArray m_seen;
};

// The words bash's completion offers for line, the last word being the one
// completed; run in folder.
QStringList bashCandidates(const QString &line, const QString &folder, const QString &ports = QString(),
                           bool sorted = true)
{
    QStringList words = line.split(QLatin1Char(' '));
    QString quoted;
    for (QString word : std::as_const(words))
        quoted += QLatin1Char('\'') + word.replace(QLatin1Char('\''), QStringLiteral("'\\''")) + QStringLiteral("' ");
    const QString script = QStringLiteral("source '%1bash/spiffs-cli' || exit 3\n"
                                          "COMP_WORDS=(%2)\nCOMP_CWORD=%3\n_spiffs_cli\n"
                                          "printf '%s\\n' \"${COMPREPLY[@]}\"\n")
                                   .arg(generated, quoted)
                                   .arg(words.size() - 1);
    QProcess bash;
    bash.setProcessEnvironment(shellEnvironment(ports));
    bash.setWorkingDirectory(folder);
    bash.start(QStringLiteral("bash"), {QStringLiteral("--norc"), QStringLiteral("-c"), script});
    if (!bash.waitForFinished(30000) || bash.exitCode() != 0)
        return {QStringLiteral("(bash failed: %1)").arg(QString::fromLocal8Bit(bash.readAllStandardError()))};
    QStringList candidates = QString::fromLocal8Bit(bash.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (sorted)
        candidates.sort();
    return candidates;
}

} // namespace

class CompletionTest : public QObject
{
    Q_OBJECT

private slots:
    void bashOffers_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("offered"); // all of these
        QTest::addColumn<QStringList>("notOffered");
        QTest::newRow("a command") << "spiffs-cli l" << QStringList{"ls"} << QStringList{"get"};
        QTest::newRow("every command") << "spiffs-cli " << QStringList{"ports", "get", "mv", "edit", "sync"} << QStringList{"-p"};
        QTest::newRow("global options") << "spiffs-cli --" << QStringList{"--port", "--json", "--timeout", "--trace"}
                                        << QStringList{"--long", "--yes"};
        QTest::newRow("the command's own options") << "spiffs-cli ls -" << QStringList{"-l", "-h", "--human-readable", "--json"}
                                                   << QStringList{"--yes", "--delete"};
        QTest::newRow("after a port") << "spiffs-cli -p /dev/x sync --d" << QStringList{"--delete", "--dry-run"}
                                      << QStringList{"--long"};
        QTest::newRow("after a +") << "spiffs-cli ls + g" << QStringList{"get"} << QStringList{"ls"};
        QTest::newRow("the next command's options") << "spiffs-cli ls + rm --" << QStringList{"--yes"} << QStringList{"--long"};
        QTest::newRow("local files for put") << "spiffs-cli put lo" << QStringList{"local.txt", "local-folder"} << QStringList();
        QTest::newRow("a name like a pattern") << "spiffs-cli put lo[" << QStringList{"lo[c]al.txt"} << QStringList{"local.txt"};
        QTest::newRow("folders for backup") << "spiffs-cli backup lo" << QStringList{"local-folder"} << QStringList{"local.txt"};
        QTest::newRow("a folder for -o") << "spiffs-cli get x -o lo" << QStringList{"local-folder"} << QStringList{"local.txt"};
        QTest::newRow("no device names") << "spiffs-cli get lo" << QStringList() << QStringList{"local.txt", "local-folder"};
        QTest::newRow("ports") << "spiffs-cli --port " << QStringList{"/tmp/spiffs-test-port"} << QStringList{"ls"};
        QTest::newRow("a folder for sync's DIR") << "spiffs-cli sync lo" << QStringList{"local-folder"}
                                                 << QStringList{"local.txt"};
        QTest::newRow("nothing for sync's FOLDER") << "spiffs-cli -p /dev/x sync local-folder lo" << QStringList()
                                                   << QStringList{"local.txt", "local-folder"};
    }
    void bashOffers()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, offered);
        QFETCH(QStringList, notOffered);
        QTemporaryDir folder;
        QVERIFY(!writeLocalFile(folder, QStringLiteral("local.txt"), "x").isEmpty());
        QVERIFY(!writeLocalFile(folder, QStringLiteral("lo[c]al.txt"), "x").isEmpty());
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("local-folder")));
        const QStringList candidates = bashCandidates(line, folder.path(), QStringLiteral("/tmp/spiffs-test-port"));
        for (const QString &word : std::as_const(offered))
            QVERIFY2(candidates.contains(word), qPrintable(word + QStringLiteral(" not in ") + candidates.join(QLatin1Char(' '))));
        for (const QString &word : std::as_const(notOffered))
            QVERIFY2(!candidates.contains(word), qPrintable(word + QStringLiteral(" in ") + candidates.join(QLatin1Char(' '))));
        if (offered.isEmpty())
            QVERIFY2(candidates.isEmpty(), qPrintable(candidates.join(QLatin1Char(' '))));
    }

    // What the shell puts on the line: a name with a space stays one word,
    // a folder ends in "/" with no space after it, so the path goes on.
    void typedLineIsCompleted_data()
    {
        QTest::addColumn<QString>("shell");
        QTest::addColumn<QByteArray>("keys");
        QTest::addColumn<QStringList>("words");
        for (const char *shell : {"bash", "zsh"}) {
            const auto row = [shell](const char *name) -> QTestData & { return QTest::addRow("%s: %s", shell, name) << QString::fromLatin1(shell); };
            row("a name with a space") << QByteArray("spiffs-cli put my\t") << QStringList{"put", "my song.mp3"};
            row("a folder goes on") << QByteArray("spiffs-cli put pre\t") << QStringList{"put", "presets/"};
            row("into the folder") << QByteArray("spiffs-cli put pre\tsw\t") << QStringList{"put", "presets/sw.txt"};
            row("a quote in a name") << QByteArray("spiffs-cli put it\t") << QStringList{"put", "it's.txt"};
            // zsh reads an unquoted "[" as a subscript, as it does for any command.
            row("a name like a pattern") << QByteArray(qstrcmp(shell, "zsh") ? "spiffs-cli put x[\t" : "spiffs-cli put x\\[\t")
                                         << QStringList{"put", "x[12].txt"};
            row("a folder with a space") << QByteArray("spiffs-cli backup tw\t") << QStringList{"backup", "two words/"};
            row("a folder for -o") << QByteArray("spiffs-cli get x -o tw\t") << QStringList{"get", "x", "-o", "two words/"};
            row("a trace file") << QByteArray("spiffs-cli --trace my\t ls") << QStringList{"--trace", "my song.mp3", "ls"};
            row("a global option") << QByteArray("spiffs-cli --ti\t 5 df") << QStringList{"--timeout", "5", "df"};
            row("after a +") << QByteArray("spiffs-cli df + ve\t") << QStringList{"df", "+", "verify"};
            row("typed half quoted") << QByteArray("spiffs-cli put 'my s\t") << QStringList{"put", "my song.mp3"};
        }
        QTest::newRow("bash: after --port=PORT") << "bash" << QByteArray("spiffs-cli --port=/dev/x ls --lo\t")
                                                 << QStringList{"--port=/dev/x", "ls", "--long"};
    }
    void typedLineIsCompleted()
    {
        QFETCH(QString, shell);
        QFETCH(QByteArray, keys);
        QFETCH(QStringList, words);
        if (QStandardPaths::findExecutable(shell).isEmpty())
            QSKIP("the shell is not installed");
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("presets")));
        QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("two words")));
        for (const char *name : {"my song.mp3", "it's.txt", "presets/sw.txt", "x[12].txt", "x1.txt"})
            QVERIFY(!writeLocalFile(folder, QString::fromUtf8(name), "x").isEmpty());
        // zsh takes a folder's "/" back when Enter follows it (AUTO_REMOVE_SLASH).
        if (shell == QLatin1String("zsh") && words.constLast().endsWith(QLatin1Char('/')))
            words.last().chop(1);
        TypedShell typed(shell, folder.path());
        QVERIFY(typed.isReady());
        QCOMPARE(typed.wordsAfterTyping(keys), words);
    }

    // After -p: the ports spiffs-cli ports lists, in its order (the one the
    // window starts on first: the first named in SPIFFS_MANAGER_PORTS), and
    // no others.
    void portsAreTheListedOnes_data()
    {
        QTest::addColumn<QString>("shell");
        QTest::newRow("bash") << "bash";
        QTest::newRow("fish") << "fish";
    }
    void portsAreTheListedOnes()
    {
        QFETCH(QString, shell);
        QProcess ports;
        ports.setProcessEnvironment(shellEnvironment(namedPorts));
        ports.start(QStringLiteral(BUILD_DIR "/spiffs-cli"), {QStringLiteral("-q"), QStringLiteral("ports")});
        QVERIFY(ports.waitForFinished(30000));
        QCOMPARE(ports.exitCode(), 0);
        const QStringList listed = QString::fromLocal8Bit(ports.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(listed.constFirst(), QStringLiteral("/tmp/spiffs-test-port"));
        QVERIFY(listed.contains(QStringLiteral("/tmp/spiffs-test/cu.SLAB_USBtoUART")));

        QStringList offered;
        if (shell == QLatin1String("bash")) {
            offered = bashCandidates(QStringLiteral("spiffs-cli -p "), QDir::tempPath(), namedPorts, false);
        } else {
            const QString fish = QStandardPaths::findExecutable(shell);
            if (fish.isEmpty())
                QSKIP("fish is not installed");
            QProcess complete;
            complete.setProcessEnvironment(shellEnvironment(namedPorts));
            complete.start(fish, {QStringLiteral("--no-config"), QStringLiteral("-c"),
                                  QStringLiteral("source %1fish/spiffs-cli.fish; complete -C 'spiffs-cli -p '").arg(generated)});
            QVERIFY(complete.waitForFinished(30000));
            for (const QString &line : QString::fromLocal8Bit(complete.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                offered << line.section(QLatin1Char('\t'), 0, 0);
        }
        QCOMPARE(offered, listed);
    }

    // fish offers what bash does where a local path goes, and nothing where
    // a receiver's name does.
    void fishOffers_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("local files for put") << "spiffs-cli put lo" << QStringList{"local-folder/", "local.txt"};
        QTest::newRow("a folder for sync's DIR") << "spiffs-cli -p /dev/x sync lo" << QStringList{"local-folder/"};
        QTest::newRow("nothing for sync's FOLDER") << "spiffs-cli sync local-folder lo" << QStringList();
        QTest::newRow("no device names") << "spiffs-cli get lo" << QStringList();
    }
    void fishOffers()
    {
        QFETCH(QString, line);
        const QString fish = QStandardPaths::findExecutable(QStringLiteral("fish"));
        if (fish.isEmpty())
            QSKIP("fish is not installed");
        QTemporaryDir folder;
        QVERIFY(!writeLocalFile(folder, QStringLiteral("local.txt"), "x").isEmpty());
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("local-folder")));
        QProcess complete;
        complete.setProcessEnvironment(shellEnvironment(QString()));
        complete.setWorkingDirectory(folder.path());
        complete.start(fish, {QStringLiteral("--no-config"), QStringLiteral("-c"),
                              QStringLiteral("source %1fish/spiffs-cli.fish; complete -C '%2'").arg(generated, line)});
        QVERIFY(complete.waitForFinished(30000));
        QStringList offered;
        for (const QString &candidate : QString::fromLocal8Bit(complete.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            offered << candidate.section(QLatin1Char('\t'), 0, 0);
        offered.sort();
        QTEST(offered, "offered");
    }

    // zsh and fish show a line beside each option: a whole clause, never
    // one cut in the middle of a sentence or a parenthesis.
    void optionLinesAreWhole_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("linesWith");
        QTest::addColumn<QString>("description");
        QTest::newRow("zsh") << "zsh/_spiffs-cli" << "_arguments" << R"(\[([^][]*)\])";
        QTest::newRow("fish") << "fish/spiffs-cli.fish" << " -l " << R"( -d '(.*)'$)";
    }
    void optionLinesAreWhole()
    {
        QFETCH(QString, file);
        QFETCH(QString, linesWith);
        QFETCH(QString, description);
        QFile script(generated + file);
        QVERIFY(script.open(QIODevice::ReadOnly));
        const QRegularExpression pattern(description);
        int seen = 0;
        for (const QString &line : QString::fromUtf8(script.readAll()).split(QLatin1Char('\n'))) {
            if (!line.contains(linesWith))
                continue;
            for (auto match = pattern.globalMatch(line); match.hasNext(); ++seen) {
                const QString text = match.next().captured(1);
                QVERIFY2(!text.isEmpty() && text.count(QLatin1Char('(')) == text.count(QLatin1Char(')'))
                                 && !QStringLiteral(",;:(").contains(text.back()),
                         qPrintable(text));
            }
        }
        QVERIFY(seen >= 10);
    }

    void otherShellsReadTheirs_data()
    {
        QTest::addColumn<QString>("shell");
        QTest::addColumn<QString>("file");
        QTest::newRow("zsh") << "zsh" << "zsh/_spiffs-cli";
        QTest::newRow("fish") << "fish" << "fish/spiffs-cli.fish";
    }
    void otherShellsReadTheirs()
    {
        QFETCH(QString, shell);
        QFETCH(QString, file);
        QVERIFY(QFileInfo::exists(generated + file));
        const QString program = QStandardPaths::findExecutable(shell);
        if (program.isEmpty())
            QSKIP("the shell is not installed");
        QProcess check;
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.start(program, {QStringLiteral("-n"), generated + file});
        QVERIFY(check.waitForFinished(30000));
        QVERIFY2(check.exitCode() == 0, check.readAll().constData());
    }
};

QTEST_MAIN(CompletionTest)
#include "tst_completion.moc"
