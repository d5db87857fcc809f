// The command line's own rules, without a receiver: shell-style patterns,
// the MANIFEST's escaping and what restore refuses in one, where a backup
// keeps each file, what sync sends from a folder, and how the command line
// itself is read.
#include "cli/names/devicenames.h"
#include "cli/table/commandparser.h"
#include "cli/commands/editorlaunch.h"
#include "cli/table/commandtable.h"
#include "cli/line/failures.h"
#include "cli/texts/helptext.h"
#include "cli/names/devicenames.h"
#include "cli/jobs/jobplan.h"
#include "cli/names/localfiles.h"
#include "cli/jobs/manifest.h"
#include "cli/texts/manualsections.h"
#include "cli/names/namepattern.h"
#include "cli/session/portaccess.h"
#include "cli/output/shownfigures.h"
#include "testfiles.h"

#include <QtCore/QDir>
#include <QtCore/QProcess>
#include <QtCore/QTemporaryDir>
#include <QtTest/QTest>

#include <sys/stat.h>

class CliRulesTest : public QObject
{
    Q_OBJECT

private slots:
    void patterns_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("matches");
        QTest::newRow("star spans /") << "*.txt" << "presets/sw.txt" << true;
        QTest::newRow("star may be empty") << "a*" << "a" << true;
        QTest::newRow("whole name only") << "a" << "ab" << false;
        QTest::newRow("question mark, one") << "?.ini" << "a.ini" << true;
        QTest::newRow("question mark, not none") << "?.ini" << ".ini" << false;
        QTest::newRow("set") << "[a-c]x" << "bx" << true;
        QTest::newRow("set, outside") << "[a-c]x" << "dx" << false;
        QTest::newRow("negated set") << "[!a-c]x" << "dx" << true;
        QTest::newRow("] first in a set") << "[]a]" << "]" << true;
        QTest::newRow("unclosed [ is itself") << "a[b" << "a[b" << true;
        QTest::newRow("escaped star") << "a\\*" << "a*" << true;
        QTest::newRow("escaped star, not any") << "a\\*" << "ab" << false;
        QTest::newRow("case counts") << "A*" << "a.txt" << false;
        QTest::newRow("backtracking") << "*a*b" << "xaxab" << true;
    }
    void patterns()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, name);
        QTEST(NamePattern::matches(pattern, name), "matches");
    }

    void escapingKeepsEveryByte_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("plain") << QByteArray("a/b.txt") << QByteArray("a/b.txt");
        QTest::newRow("space and UTF-8") << QByteArray("caf\xc3\xa9 1.txt") << QByteArray("caf\\xc3\\xa9\\x201.txt");
        QTest::newRow("backslash") << QByteArray("a\\b") << QByteArray("a\\\\b");
        QTest::newRow("newline and 0xFF") << QByteArray("a\n\xff") << QByteArray("a\\x0a\\xff");
    }
    void escapingKeepsEveryByte()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, text);
        QCOMPARE(Manifest::escaped(bytes), text);
        QCOMPARE(Manifest::unescaped(text), std::optional<QByteArray>(bytes));
    }

    void manifestsRefused_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("error");
        const QByteArray hash(64, 'a');
        QTest::newRow("path leaves the folder") << "1 " + hash + " a.txt ../a.txt" << "line 2: the path leaves";
        QTest::newRow("absolute path") << "1 " + hash + " a.txt /etc/a" << "line 2: the path leaves";
        QTest::newRow("empty part") << "1 " + hash + " a.txt a//b" << "line 2: the path leaves";
        QTest::newRow("bad escape") << "1 " + hash + " a\\q.txt a.txt" << "line 2: a bad escape";
        QTest::newRow("upper-case hash") << "1 " + QByteArray(64, 'A') + " a.txt a.txt" << "line 2: the SHA-256";
        QTest::newRow("short hash") << "1 " + QByteArray(63, 'a') + " a.txt a.txt" << "line 2: the SHA-256";
        QTest::newRow("negative size") << "-1 " + hash + " a.txt a.txt" << "line 2: the size";
        QTest::newRow("name twice") << "1 " + hash + " a.txt a.txt\n1 " + hash + " a.txt b.txt" << "line 3: the name is given twice";
        QTest::newRow("path twice, by case") << "1 " + hash + " a.txt a.txt\n1 " + hash + " b.txt A.TXT" << "line 3: the path is given twice";
        QTest::newRow("empty name, restorable") << "1 " + hash + " \\x a.txt" << "line 2: a bad escape";
        QTest::newRow("not saved, with a path") << QByteArray("! 1 - a.txt a.txt") << "line 2: a file not saved has a path";
        QTest::newRow("not restorable, one field short") << QByteArray("! 1 - a.txt") << "line 2: not SIZE";
    }
    void manifestsRefused()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, error);
        const Manifest::Parsed parsed = Manifest::parse("spiffs-backup 1 2026-12-07T12:00:00Z 1318001 512\n" + line + '\n');
        QVERIFY(!parsed.contents);
        QVERIFY2(parsed.error.startsWith(error), qPrintable(parsed.error));
    }

    void manifestRoundTrip()
    {
        Manifest::Contents contents;
        contents.taken = QDateTime(QDate(2026, 12, 7), QTime(12, 0), Qt::UTC);
        contents.totalBytes = 1318001;
        contents.usedBytes = 7424;
        contents.entries = {{5, QByteArray(32, '\x01'), "a b\\c", QStringLiteral("a b-c")},
                            {0, QByteArray(32, '\xfe'), "presets/sw.txt", QStringLiteral("presets/sw.txt")}};
        const Manifest::Parsed parsed = Manifest::parse(Manifest::write(contents).replace('\n', "\r\n"));
        QVERIFY2(parsed.contents, qPrintable(parsed.error));
        QCOMPARE(parsed.contents->taken, contents.taken);
        QCOMPARE(parsed.contents->usedBytes, 7424u);
        QCOMPARE(parsed.contents->entries.size(), 2);
        QCOMPARE(parsed.contents->entries.at(0).name, QByteArray("a b\\c"));
        QCOMPARE(parsed.contents->entries.at(0).sha256, QByteArray(32, '\x01'));
        QCOMPARE(parsed.contents->entries.at(1).path, QStringLiteral("presets/sw.txt"));
    }

    // Names restore cannot give back stay in the MANIFEST, marked, the empty
    // one and those never saved included; a MANIFEST without them reads as
    // before.
    void manifestKeepsUnrestorableNames()
    {
        Manifest::Contents contents;
        contents.taken = QDateTime(QDate(2026, 12, 7), QTime(12, 0), Qt::UTC);
        contents.entries = {{5, QByteArray(32, '\x01'), "ok.txt", QStringLiteral("ok.txt")},
                            {3, QByteArray(32, '\x02'), "", QStringLiteral("-"), false},
                            {7, QByteArray(), QByteArray(40, 'l'), QString(), false},
                            {1, QByteArray(32, '\x03'), QByteArray("z\0z", 3), QStringLiteral("z-z"), false}};
        const QByteArray text = Manifest::write(contents);
        QVERIFY2(text.contains("\n! 3 " + QByteArray(32, '\x02').toHex() + " \\x -\n"), text.constData());
        QVERIFY2(text.contains("\n! 7 - " + QByteArray(40, 'l') + " -\n"), text.constData());
        const Manifest::Parsed parsed = Manifest::parse(text);
        QVERIFY2(parsed.contents, qPrintable(parsed.error));
        QCOMPARE(parsed.contents->entries.size(), 4);
        for (int i = 0; i < 4; ++i) {
            const Manifest::Entry &entry = parsed.contents->entries.at(i);
            QCOMPARE(entry.name, contents.entries.at(i).name);
            QCOMPARE(entry.restorable, i == 0);
            QCOMPARE(entry.saved(), i != 2);
            QCOMPARE(entry.path, contents.entries.at(i).path);
            QCOMPARE(entry.size, contents.entries.at(i).size);
        }
    }

    void unrestorableNames_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("plain") << QByteArray("a.txt") << "";
        QTest::newRow("spaces and UTF-8 are the receiver's own") << QByteArray("caf\xc3\xa9 1.txt") << "";
        QTest::newRow("longest") << QByteArray(30, 'a') << "";
        QTest::newRow("empty") << QByteArray() << "empty";
        QTest::newRow("one byte too long") << QByteArray(31, 'a') << "longer than";
        QTest::newRow("a zero byte") << QByteArray("a\0b", 3) << "zero byte";
    }
    void unrestorableNames()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, reason);
        const QString found = JobPlan::unrestorableReason(name);
        QVERIFY2(reason.isEmpty() ? found.isEmpty() : found.contains(reason), qPrintable(found));
    }

    void linksLeadingOutside()
    {
        QTemporaryDir top;
        QTemporaryDir elsewhere;
        const QString folder = top.filePath(QStringLiteral("backup"));
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/inner")));
        QVERIFY(!writeLocalFile(elsewhere, QStringLiteral("secret.txt"), "s").isEmpty());
        QVERIFY(!writeLocalFile(top, QStringLiteral("backup/inner/a.txt"), "a").isEmpty());
        const auto link = [&](const QString &target, const QString &name) {
            return QFile::link(target, QDir(folder).filePath(name));
        };
        QVERIFY(link(elsewhere.filePath(QStringLiteral("secret.txt")), QStringLiteral("out.txt")));
        QVERIFY(link(QDir(folder).filePath(QStringLiteral("inner/a.txt")), QStringLiteral("in.txt")));
        QVERIFY(link(elsewhere.path(), QStringLiteral("outfolder")));
        QVERIFY(link(top.path() + QStringLiteral("/backup-other"), QStringLiteral("dangling")));
        QVERIFY(leadsOutside(folder, QDir(folder).filePath(QStringLiteral("out.txt"))));
        QVERIFY(leadsOutside(folder, QDir(folder).filePath(QStringLiteral("outfolder/secret.txt"))));
        QVERIFY(!leadsOutside(folder, QDir(folder).filePath(QStringLiteral("in.txt"))));
        QVERIFY(!leadsOutside(folder, QDir(folder).filePath(QStringLiteral("inner/a.txt"))));
        QVERIFY(!leadsOutside(folder, QDir(folder).filePath(QStringLiteral("dangling"))));
        // Writing goes through no link out, nor through one to nothing.
        QVERIFY(!linkProblem(folder, QDir(folder).filePath(QStringLiteral("out.txt"))).isEmpty());
        QVERIFY(!linkProblem(folder, QDir(folder).filePath(QStringLiteral("dangling"))).isEmpty());
        QVERIFY(linkProblem(folder, QDir(folder).filePath(QStringLiteral("in.txt"))).isEmpty());
        QVERIFY(linkProblem(folder, QDir(folder).filePath(QStringLiteral("inner/a.txt"))).isEmpty());
        QVERIFY(linkProblem(folder, QDir(folder).filePath(QStringLiteral("new.txt"))).isEmpty());
        // A sibling whose name starts with the folder's is outside it.
        QVERIFY(QDir().mkpath(top.path() + QStringLiteral("/backup-other")));
        QVERIFY(leadsOutside(folder, QDir(folder).filePath(QStringLiteral("dangling"))));

        const JobPlan::LocalTree tree = JobPlan::scanFolder(folder);
        QStringList sent;
        for (const JobPlan::LocalFile &file : tree.files)
            sent << file.name;
        QCOMPARE(sent, (QStringList{"in.txt", "inner/a.txt"}));
        QStringList skipped;
        for (const JobPlan::Skipped &skip : tree.skipped)
            skipped << skip.name + QLatin1Char(':') + skip.reason;
        skipped.sort();
        QCOMPARE(skipped.size(), 3);
        QVERIFY(skipped.at(1).startsWith(QStringLiteral("out.txt:a link leading outside")));
        QVERIFY(skipped.at(2).startsWith(QStringLiteral("outfolder:a link to a folder")));
    }

    void selections_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QStringList>("selected");
        QTest::newRow("a name") << "a.txt" << QStringList{"a.txt"};
        QTest::newRow("the path's own /") << "/a.txt" << QStringList{"a.txt"};
        QTest::newRow("a pattern, listing order") << "*.txt" << QStringList{"presets/sw.txt", "a.txt", "presets/mw.txt", "[ab].txt"};
        QTest::newRow("a folder") << "presets" << QStringList{"presets/sw.txt", "presets/mw.txt"};
        QTest::newRow("a folder with its /") << "/presets/" << QStringList{"presets/sw.txt", "presets/mw.txt"};
        QTest::newRow("a file beats a folder of its name") << "pre" << QStringList{"pre"};
        QTest::newRow("not a folder: a name's start") << "pres" << QStringList();
        QTest::newRow("nothing") << "none.txt" << QStringList();
        QTest::newRow("a name before a pattern") << "pre*" << QStringList{"pre*"};
        QTest::newRow("a name before a set") << "[ab].txt" << QStringList{"[ab].txt"};
        QTest::newRow("a set when no name is so") << "[ab].txt?" << QStringList();
    }
    void selections()
    {
        QFETCH(QString, argument);
        QFETCH(QStringList, selected);
        const QVector<CatalogueFormat::ListingEntry> listing = {{"presets/sw.txt", 1}, {"a.txt", 2}, {"pre", 3},
                                                                {"presets/mw.txt", 4}, {"pre/x", 5}, {"pre*", 6},
                                                                {"[ab].txt", 7}};
        QStringList names;
        for (const CatalogueFormat::ListingEntry &entry : DeviceNames::select(QStringLiteral("ls"), argument, listing))
            names << QString::fromUtf8(entry.name);
        QCOMPARE(names, selected);
    }

    // Names that read alike: a typed name stands for the file whose bytes it
    // gives, as typed or with its escapes read; one that stands for two, or
    // only reads like a name, is refused. Byte names: "x" 0xFF (not UTF-8),
    // the UTF-8 of "x\u00ff", and the six characters x\xff.
    void lookAlikeNames_data()
    {
        QTest::addColumn<QByteArrayList>("held");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("selected"); // empty: none; "refused"
        const QByteArray byte("x\xff");
        const QByteArray utf8("x\xc3\xbf");
        const QByteArray written("x\\xff");
        const QString yDiaeresis = QString::fromUtf8(utf8);
        QTest::newRow("the UTF-8 name, typed") << QByteArrayList{byte, utf8} << yDiaeresis << utf8;
        QTest::newRow("the byte, typed as shown") << QByteArrayList{utf8, byte} << "x\\xff" << byte;
        QTest::newRow("upper-case hex, the path's /") << QByteArrayList{byte} << "/x\\xFF" << byte;
        QTest::newRow("only reads like the byte's name") << QByteArrayList{byte} << yDiaeresis << QByteArray("refused");
        QTest::newRow("an escape that stands for two") << QByteArrayList{byte, written} << "x\\xff" << QByteArray("refused");
        QTest::newRow("the name written out, as shown") << QByteArrayList{byte, written} << "x\\\\xff" << written;
        QTest::newRow("a pattern, against names as shown") << QByteArrayList{utf8, written, byte} << "x\\\\x*" << byte;
    }
    void lookAlikeNames()
    {
        QFETCH(QByteArrayList, held);
        QFETCH(QString, typed);
        QFETCH(QByteArray, selected);
        QVector<CatalogueFormat::ListingEntry> listing;
        for (const QByteArray &name : held)
            listing.append({name, 1});
        QByteArrayList found;
        try {
            for (const CatalogueFormat::ListingEntry &entry : DeviceNames::select(QStringLiteral("cat"), typed, listing))
                found << entry.name;
        } catch (const CommandFailure &failure) {
            QCOMPARE(failure.kind, Failure::Usage);
            found << "refused";
        }
        QCOMPARE(found, QByteArrayList{selected});
    }

    // Whether rm's arguments need --yes before the receiver is asked.
    void severalFiles_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("several");
        QTest::newRow("one name") << QStringList{"a.txt"} << false;
        QTest::newRow("two names") << QStringList{"a.txt", "b.txt"} << true;
        QTest::newRow("one name twice") << QStringList{"a.txt", "/a.txt"} << false;
        QTest::newRow("a folder and a name in it") << QStringList{"presets", "presets/sw.txt"} << false;
        QTest::newRow("a folder and a name beside it") << QStringList{"presets/", "pre.txt"} << true;
        QTest::newRow("a pattern may be one") << QStringList{"a*", "b.txt"} << false;
    }
    void severalFiles()
    {
        QFETCH(QStringList, arguments);
        QTEST(DeviceNames::severalFiles(arguments), "several");
    }

    void portChoice_data()
    {
        QTest::addColumn<QStringList>("candidates");
        QTest::addColumn<QStringList>("usb");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("said");
        QTest::newRow("the bridge") << QStringList{"ttyUSB1"} << QStringList{"ttyUSB0", "ttyUSB1"} << "ttyUSB1" << "";
        QTest::newRow("two bridges") << QStringList{"ttyUSB0", "ttyUSB1"} << QStringList() << "" << "several ports";
        QTest::newRow("the only USB port") << QStringList() << QStringList{"ttyACM0"} << "ttyACM0" << "the only USB serial port";
        QTest::newRow("macOS twins count once") << QStringList() << QStringList{"cu.usbserial-1", "tty.usbserial-1"}
                                                << "cu.usbserial-1" << "the only USB serial port";
        QTest::newRow("several USB ports") << QStringList() << QStringList{"ttyACM0", "ttyUSB0"} << "" << "several USB serial ports";
        QTest::newRow("none") << QStringList() << QStringList() << "" << "no port looks like";
    }
    void portChoice()
    {
        QFETCH(QStringList, candidates);
        QFETCH(QStringList, usb);
        QFETCH(QString, chosen);
        QFETCH(QString, said);
        const PortChoice choice = choosePort(candidates, usb, QStringList{QStringLiteral("ttyS0")} + usb);
        QCOMPARE(choice.chosen.value_or(QString()), chosen);
        const QString text = chosen.isEmpty() ? choice.problem : choice.note;
        QVERIFY2(said.isEmpty() ? text.isEmpty() : text.contains(said), qPrintable(text));
    }

    void backupPaths_data()
    {
        QTest::addColumn<QByteArrayList>("names");
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QStringList>("takenFiles");
        QTest::addColumn<QStringList>("takenFolders");
        QTest::newRow("a file that must stay") << QByteArrayList{"notes"} << QStringList{"notes~2"} << QStringList{"Notes"}
                                               << QStringList();
        QTest::newRow("a linked folder") << QByteArrayList{"presets/sw.txt"} << QStringList{"presets-sw.txt"}
                                         << QStringList{"presets"} << QStringList();
        QTest::newRow("a folder where a file would go") << QByteArrayList{"presets", "presets/sw.txt"}
                                                        << QStringList{"presets~2", "presets/sw.txt"} << QStringList()
                                                        << QStringList{"presets"};
        QTest::newRow("sub-folders") << QByteArrayList{"presets/sw.txt", "a.txt"}
                                     << QStringList{"presets/sw.txt", "a.txt"} << QStringList() << QStringList();
        QTest::newRow("unsafe parts") << QByteArrayList{"x:y/..", "q"} << QStringList{"x-y/-..", "q"} << QStringList() << QStringList();
        QTest::newRow("a folder that is another name's file") << QByteArrayList{"a:b/..", "a-b"} << QStringList{"a-b-..", "a-b"} << QStringList() << QStringList();
        QTest::newRow("same but for case") << QByteArrayList{"a.txt", "A.TXT"} << QStringList{"a~2.txt", "A.TXT"} << QStringList() << QStringList();
        QTest::newRow("a file where a folder would be")
                << QByteArrayList{"presets", "presets/sw.txt"} << QStringList{"presets", "presets-sw.txt"} << QStringList() << QStringList();
        QTest::newRow("the MANIFEST's own name") << QByteArrayList{"MANIFEST"} << QStringList{"MANIFEST~2"} << QStringList() << QStringList();
        QTest::newRow("listing order does not matter") << QByteArrayList{"b-c", "b:c"} << QStringList{"b-c", "b-c~2"} << QStringList() << QStringList();
    }
    void backupPaths()
    {
        QFETCH(QByteArrayList, names);
        QFETCH(QStringList, paths);
        QFETCH(QStringList, takenFiles);
        QFETCH(QStringList, takenFolders);
        const auto keys = [](const QStringList &list) {
            QSet<QString> set;
            for (const QString &path : list)
                set.insert(path.toCaseFolded());
            return set;
        };
        const QVector<QString> found =
                JobPlan::backupPaths(QVector<QByteArray>(names.cbegin(), names.cend()), keys(takenFiles), keys(takenFolders));
        QCOMPARE(QStringList(found.toList()), paths);
    }

    // df -h: used and free add up to the total as they read, in the total's
    // unit; rounded each on its own, 1.04 MiB = 0.36 + 0.68 read 1.0, 0.4
    // and 0.7.
    void spaceFiguresAddUp_data()
    {
        QTest::addColumn<qint64>("total");
        QTest::addColumn<qint64>("used");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("a little used") << qint64(1318001) << qint64(7475)
                                       << QStringList{"1.3 MiB", "7.3 KiB", "1.3 MiB"};
        QTest::newRow("a little free") << qint64(1318001) << qint64(1310526)
                                       << QStringList{"1.3 MiB", "1.3 MiB", "7.3 KiB"};
        QTest::newRow("each rounding up") << qint64(1090519) << qint64(377487)
                                          << QStringList{"1.0 MiB", "0.4 MiB", "0.6 MiB"};
        QTest::newRow("nothing used") << qint64(1318001) << qint64(0) << QStringList{"1.3 MiB", "0 B", "1.3 MiB"};
        QTest::newRow("bytes") << qint64(1000) << qint64(300) << QStringList{"1000 B", "300 B", "700 B"};
    }
    void spaceFiguresAddUp()
    {
        QFETCH(qint64, total);
        QFETCH(qint64, used);
        const SpaceFigures figures = spaceFigures(total, used);
        QTEST((QStringList{figures.total, figures.used, figures.free}), "shown");
    }

    void unstorableNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("storable");
        QTest::newRow("with a folder") << "presets/sw.txt" << true;
        QTest::newRow("longest") << QString(26, QLatin1Char('a')) + ".txt" << true;
        QTest::newRow("one too long") << QString(27, QLatin1Char('a')) + ".txt" << false;
        QTest::newRow("space") << "my file.txt" << false;
        QTest::newRow("beyond ASCII") << QString::fromUtf8("caf\xc3\xa9.txt") << false;
        QTest::newRow("no type after the dot") << "a." << false;
    }
    void unstorableNames()
    {
        QFETCH(QString, name);
        QTEST(JobPlan::unstorableReason(name).isEmpty(), "storable");
    }

    void commandLines_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("error");
        QTest::newRow("global options first") << QStringList{"-p", "/dev/x", "-q", "df"} << "df" << "";
        QTest::newRow("global options after the command") << QStringList{"ls", "--json", "-l", "*.txt"} << "ls" << "";
        QTest::newRow("no command") << QStringList{"-q"} << "" << "no command given";
        QTest::newRow("unknown command") << QStringList{"frob"} << "frob" << "unknown command";
        QTest::newRow("another command's option") << QStringList{"ls", "--checksum"} << "ls" << "option of sync";
        QTest::newRow("an option of several commands") << QStringList{"ls", "--yes"} << "ls" << "option of rm, format, restore or sync";
        QTest::newRow("negative time-out") << QStringList{"--timeout", "-1", "df"} << "df" << "--timeout takes seconds";
        QTest::newRow("time-out not a number") << QStringList{"--timeout", "soon", "df"} << "df" << "--timeout takes seconds";
        QTest::newRow("missing argument") << QStringList{"cat"} << "cat" << "missing argument";
        QTest::newRow("a mistyped command") << QStringList{"lst"} << "lst" << "did you mean \"ls\"?";
        QTest::newRow("nothing close") << QStringList{"frobnicate"} << "frobnicate" << "unknown command \"frobnicate\"";
        // Refused by the option parser, still named (--json puts it in the document).
        QTest::newRow("an unknown option") << QStringList{"--json", "ls", "-Z"} << "ls" << "Unknown option 'Z'";
        QTest::newRow("options' values like a command")
                << QStringList{"-p", "ls", "--port", "ls", "-pls", "--port=x", "-Z", "df"} << "df" << "Unknown option";
        QTest::newRow("a value missing") << QStringList{"get", "a.txt", "-o"} << "get" << "Missing value after '-o'";
    }
    void commandLines()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        const CommandLine line = parseCommandLine(QStringList{QStringLiteral("spiffs-cli")} + arguments);
        QTEST(line.command, "command");
        QVERIFY2(error.isEmpty() ? line.error.isEmpty() : line.error.contains(error), qPrintable(line.error));
    }

    // Parsing and help come from the table: each row's command is listed and
    // has its own help, takes its own options and no other command's, and
    // is held to its argument counts.
    void commandTableDrivesTheLine()
    {
        const QString help = helpText();
        for (const CommandRow &command : commandTable()) {
            const QString name = QLatin1String(command.name);
            QVERIFY2(command.run, command.name);
            QVERIFY2(help.contains(QStringLiteral("\n  ") + QLatin1String(command.synopsis)), command.name);
            QVERIFY(helpText(name).startsWith(QStringLiteral("Usage: spiffs-cli [OPTIONS] ") + QLatin1String(command.synopsis)));

            // Each option a row names is one of the table's, none of the whole run's.
            for (const QString &option : QString::fromLatin1(command.options).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                const auto row = std::find_if(optionTable().cbegin(), optionTable().cend(),
                                              [&option](const OptionRow &known) { return option == QLatin1String(known.longName); });
                QVERIFY2(row != optionTable().cend() && !row->global, qPrintable(name + QLatin1Char(' ') + option));
            }
            QStringList enough;
            for (int i = 0; i < command.leastArguments; ++i)
                enough << QStringLiteral("x%1.txt").arg(i);
            for (const OptionRow &option : optionTable()) {
                if (option.global)
                    continue;
                QStringList arguments{QStringLiteral("spiffs-cli"), name, QStringLiteral("--") + QLatin1String(option.longName)};
                if (*option.valueName)
                    arguments << QStringLiteral("value");
                const CommandLine line = parseCommandLine(arguments + enough);
                QVERIFY2(command.owns(option) == line.error.isEmpty(),
                         qPrintable(name + QLatin1Char(' ') + QLatin1String(option.longName) + QStringLiteral(": ") + line.error));
            }
            if (command.leastArguments > 0)
                QVERIFY(parseCommandLine({QStringLiteral("spiffs-cli"), name}).error.contains(QStringLiteral("missing argument")));
            if (command.mostArguments >= 0) {
                QStringList tooMany = enough;
                while (tooMany.size() <= command.mostArguments)
                    tooMany << QStringLiteral("y.txt");
                QVERIFY(parseCommandLine(QStringList{QStringLiteral("spiffs-cli"), name} + tooMany)
                                .error.contains(QStringLiteral("too many arguments")));
            }
        }
    }

    // -h is help, except after ls and df, where it is GNU's human sizes.
    void helpOrHumanSizes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("help");
        QTest::addColumn<bool>("human");
        QTest::addColumn<bool>("longListing");
        QTest::newRow("alone") << QStringList{"-h"} << true << false << false;
        QTest::newRow("before ls") << QStringList{"-h", "ls"} << true << false << false;
        QTest::newRow("ls -lh") << QStringList{"ls", "-lh"} << false << true << true;
        QTest::newRow("ls -hl") << QStringList{"ls", "-hl"} << false << true << true;
        QTest::newRow("df -h") << QStringList{"df", "-h"} << false << true << false;
        QTest::newRow("a port named -h") << QStringList{"-p", "-h", "df"} << false << false << false;
        QTest::newRow("get -h") << QStringList{"get", "-h"} << true << false << false;
        QTest::newRow("ls --help") << QStringList{"ls", "--help"} << true << false << false;
    }
    void helpOrHumanSizes()
    {
        QFETCH(QStringList, arguments);
        const CommandLine line = parseCommandLine(QStringList{QStringLiteral("spiffs-cli")} + arguments);
        QTEST(line.help, "help");
        QTEST(line.humanReadable, "human");
        QTEST(line.longListing, "longListing");
    }

    void chains_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QString>("error");
        QTest::newRow("three") << QStringList{"ls", "+", "get", "a.txt", "+", "rm", "b.txt"} << QStringList{"ls", "get", "rm"} << "";
        QTest::newRow("options for all, from any part") << QStringList{"ls", "+", "df", "--json", "-p", "/dev/x"}
                                                        << QStringList{"ls", "df"} << "";
        QTest::newRow("a port twice") << QStringList{"-p", "a", "ls", "+", "-p", "b", "df"} << QStringList{"ls", "df"}
                                      << "--port is given twice";
        QTest::newRow("a + at the end") << QStringList{"ls", "+"} << QStringList{"ls", ""} << "no command on one side";
        QTest::newRow("help in a chain") << QStringList{"ls", "+", "df", "--help"} << QStringList{"ls", "df"} << "stand alone";
    }
    void chains()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, commands);
        QFETCH(QString, error);
        const QVector<CommandLine> lines = parseCommandChain(QStringList{QStringLiteral("spiffs-cli")} + arguments);
        QStringList found;
        QString errors;
        for (const CommandLine &line : lines) {
            found << line.command;
            errors += line.error;
        }
        QCOMPARE(found, commands);
        QVERIFY2(error.isEmpty() ? errors.isEmpty() : errors.contains(error), qPrintable(errors));
        if (arguments.contains(QStringLiteral("--json"))) {
            for (const CommandLine &line : lines)
                QVERIFY(line.json && line.port == QLatin1String("/dev/x"));
        }
    }

    // The manual page and README say what the program does: every command's
    // synopsis is in the manual, every exit status with its kind and meaning
    // in both, as the tables give them.
    void documentsAgreeWithTheTables()
    {
        QProcess man;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("MANWIDTH"), QStringLiteral("1000"));
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        man.setProcessEnvironment(environment);
        man.start(QStringLiteral("man"), {QStringLiteral("-l"), QStringLiteral(BUILD_DIR "/generated/spiffs-cli.1")});
        QVERIFY(man.waitForFinished(30000));
        const QString manual = QString::fromUtf8(man.readAllStandardOutput()).simplified();
        QVERIFY2(manual.contains(QStringLiteral("EXIT STATUS")), qPrintable(manual.left(200)));
        QString readme = QString::fromUtf8(readLocalFile(QStringLiteral(SOURCE_DIR "/README.md")));
        QVERIFY2(readme.contains(readmeCommandTable()), "README's table of commands is not the command table's; "
                                                       "spiffs-cli-generate readme-commands writes it");
        readme.remove(QLatin1Char('`'));
        for (const CommandRow &command : commandTable())
            QVERIFY2(manual.contains(QLatin1String(command.synopsis)), command.synopsis);
        for (const FailureRow &row : failureTable()) {
            const QString meaning = QString::fromLatin1(row.meaning).replace(QLatin1Char('\n'), QLatin1Char(' '));
            QVERIFY2(manual.contains(QStringLiteral("[%1]").arg(QLatin1String(row.kind))), row.kind);
            const QString tableLine = QStringLiteral("| %1 | %2 | %3 |").arg(int(row.code)).arg(QLatin1String(row.kind), meaning);
            QVERIFY2(readme.contains(tableLine), qPrintable(tableLine));
        }
    }

    void namesShownOnATerminal_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << QByteArray("a b.txt") << "a b.txt";
        QTest::newRow("escape sequence") << QByteArray("e\x1b]0;x\x07") << "e\\x1b]0;x\\x07";
        QTest::newRow("DEL and a C1 control as Latin-1") << QByteArray("a\x7f\x9b") << "a\\x7f\\x9b";
        QTest::newRow("UTF-8 stays") << QByteArray("caf\xc3\xa9") << QString::fromUtf8("caf\xc3\xa9");
        QTest::newRow("a byte that is not UTF-8") << QByteArray("x\xff") << "x\\xff";
        QTest::newRow("a C1 control in UTF-8, byte by byte") << QByteArray("a\xc2\x85") << "a\\xc2\\x85";
        QTest::newRow("a backslash") << QByteArray("a\\xff") << "a\\\\xff";
    }
    // Shown so, every name typed back as shown stands for its own bytes.
    void namesShownOnATerminal()
    {
        QFETCH(QByteArray, name);
        QTEST(shownName(name), "shown");
        QCOMPARE(DeviceNames::bytesFromUser(shownName(name)), name);
    }

    void syncTakesOnlyWhatItCanSend()
    {
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("presets/deep")));
        QVERIFY(QDir(folder.path()).mkpath(QStringLiteral(".git")));
        for (const char *name : {"a.txt", "presets/deep/b.ini", "MANIFEST", "presets/MANIFEST", ".hidden.txt",
                                 ".git/config", "my file.txt", "\xc3\xa9.txt"})
            QVERIFY(!writeLocalFile(folder, QString::fromUtf8(name), "x").isEmpty());
        QVERIFY(::mkfifo(QFile::encodeName(folder.filePath(QStringLiteral("pipe.txt"))).constData(), 0600) == 0);
        QVERIFY(QFile::link(folder.filePath(QStringLiteral("presets")), folder.filePath(QStringLiteral("loop"))));

        const JobPlan::LocalTree tree = JobPlan::scanFolder(folder.path());
        QStringList sent;
        for (const JobPlan::LocalFile &file : tree.files)
            sent << file.name + QStringLiteral(" as ") + file.deviceName;
        QCOMPARE(sent, (QStringList{"a.txt as a.txt", "my file.txt as myfile.txt", "presets/MANIFEST as presets/MANIFEST",
                                    "presets/deep/b.ini as presets/deep/b.ini"}));
        QStringList skipped;
        for (const JobPlan::Skipped &skip : tree.skipped)
            skipped << skip.name;
        skipped.sort();
        // A name that keeps nothing before its type once cleaned.
        QCOMPARE(skipped, (QStringList{"loop", "pipe.txt", QString::fromUtf8("\xc3\xa9.txt")}));
    }

    // The editor as each desktop's shell starts it: a command with
    // arguments, a .cmd such as VS Code's `code`, a path with spaces; the
    // desktop's own editor when none is chosen.
    void editorStartsAsTheShellWould_data()
    {
        QTest::addColumn<int>("desktop");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("comspec");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("native");

        const int linux = int(PortOpening::Desktop::Linux);
        const int windows = int(PortOpening::Desktop::Windows);
        const QString temp = QStringLiteral("C:/Users/Ada Lovelace/AppData/Local/Temp/spiffs-edit-x/notes.txt");
        const QString native = QStringLiteral("C:\\Users\\Ada Lovelace\\AppData\\Local\\Temp\\spiffs-edit-x\\notes.txt");
        QTest::newRow("Linux, none chosen") << linux << "" << "/tmp/e/notes" << "" << "/bin/sh"
                                            << QStringList{"-c", "vi \"$@\"", "vi", "/tmp/e/notes"} << "";
        QTest::newRow("Linux, with arguments") << linux << "code --wait" << "/tmp/e/notes" << "" << "/bin/sh"
                                               << QStringList{"-c", "code --wait \"$@\"", "code --wait", "/tmp/e/notes"} << "";
        QTest::newRow("Windows, none chosen") << windows << "" << temp << "" << "notepad.exe" << QStringList{native} << "";
        QTest::newRow("Windows, a .cmd with arguments")
                << windows << "code --wait" << temp << "C:\\Windows\\system32\\cmd.exe"
                << "C:\\Windows\\system32\\cmd.exe" << QStringList{}
                << "/d /s /c \"code --wait \"" + native + "\"\"";
        QTest::newRow("Windows, a quoted path, no COMSPEC")
                << windows << "\"C:\\Program Files\\Notepad++\\notepad++.exe\" -multiInst" << temp << "" << "cmd.exe"
                << QStringList{} << "/d /s /c \"\"C:\\Program Files\\Notepad++\\notepad++.exe\" -multiInst \"" + native + "\"\"";
    }
    void editorStartsAsTheShellWould()
    {
        QFETCH(int, desktop);
        QFETCH(QString, chosen);
        QFETCH(QString, path);
        QFETCH(QString, comspec);
        const EditorLaunch launch = editorLaunch(chosen, path, PortOpening::Desktop(desktop), comspec);
        QTEST(launch.program, "program");
        QTEST(launch.arguments, "arguments");
        QTEST(launch.nativeArguments, "native");
    }
};

QTEST_MAIN(CliRulesTest)
#include "tst_clirules.moc"
