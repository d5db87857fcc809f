// spiffs-cli's shell completions, as the build makes them from its table of
// commands: bash's completion function run on partial lines, the candidates
// it offers checked; zsh's and fish's read by their shells without errors.
#include "testfiles.h"

#include <QtCore/QDir>
#include <QtCore/QProcess>
#include <QtCore/QStandardPaths>
#include <QtCore/QTemporaryDir>
#include <QtTest/QTest>

namespace {

const QString generated = QStringLiteral(BUILD_DIR "/generated/");

// The words bash's completion offers for line, the last word being the one
// completed; run in folder.
QStringList bashCandidates(const QString &line, const QString &folder, const QString &ports = QString())
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
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SPIFFS_MANAGER_PORTS"), ports);
    bash.setProcessEnvironment(environment);
    bash.setWorkingDirectory(folder);
    bash.start(QStringLiteral("bash"), {QStringLiteral("--norc"), QStringLiteral("-c"), script});
    if (!bash.waitForFinished(30000) || bash.exitCode() != 0)
        return {QStringLiteral("(bash failed: %1)").arg(QString::fromLocal8Bit(bash.readAllStandardError()))};
    QStringList candidates = QString::fromLocal8Bit(bash.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
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
        QTest::newRow("folders for backup") << "spiffs-cli backup lo" << QStringList{"local-folder"} << QStringList{"local.txt"};
        QTest::newRow("a folder for -o") << "spiffs-cli get x -o lo" << QStringList{"local-folder"} << QStringList{"local.txt"};
        QTest::newRow("no device names") << "spiffs-cli get lo" << QStringList() << QStringList{"local.txt", "local-folder"};
        QTest::newRow("ports") << "spiffs-cli --port " << QStringList{"/tmp/spiffs-test-port"} << QStringList{"ls"};
    }
    void bashOffers()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, offered);
        QFETCH(QStringList, notOffered);
        QTemporaryDir folder;
        QVERIFY(!writeLocalFile(folder, QStringLiteral("local.txt"), "x").isEmpty());
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("local-folder")));
        const QStringList candidates = bashCandidates(line, folder.path(), QStringLiteral("/tmp/spiffs-test-port"));
        for (const QString &word : std::as_const(offered))
            QVERIFY2(candidates.contains(word), qPrintable(word + QStringLiteral(" not in ") + candidates.join(QLatin1Char(' '))));
        for (const QString &word : std::as_const(notOffered))
            QVERIFY2(!candidates.contains(word), qPrintable(word + QStringLiteral(" in ") + candidates.join(QLatin1Char(' '))));
        if (offered.isEmpty())
            QVERIFY2(candidates.isEmpty(), qPrintable(candidates.join(QLatin1Char(' '))));
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
