// `cmake --install` into a fresh prefix, as a user or a package build runs it:
// the three programs, their manual pages, the desktop entry, the program's
// icon, the AppStream metadata, the udev rule and the documents (copyright,
// changelog, README, troubleshooting) land where they are looked for, and
// nothing else does. The real tools judge them: man, lexgrog, gzip,
// appstreamcli, desktop-file-validate and, where it has `verify`, udevadm.
#include "core/portdiscovery.h"

#include <QtCore/QDateTime>
#include <QtCore/QDir>
#include <QtCore/QDirIterator>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QHash>
#include <QtCore/QProcess>
#include <QtCore/QRegularExpression>
#include <QtCore/QSet>
#include <QtCore/QStandardPaths>
#include <QtCore/QTemporaryDir>
#include <QtGui/QImage>
#include <QtTest/QTest>

namespace {

const int iconSizes[] = {16, 32, 48, 64, 128, 256};
const QString entryPath = QStringLiteral("share/applications/spiffs-manager.desktop");
const QString manualPath = QStringLiteral("share/man/man1/spiffs-cli.1.gz");
const QStringList programs = {QStringLiteral("spiffs-cli"), QStringLiteral("spiffs-emulator"),
                              QStringLiteral("spiffs-manager")};
const QString docDir = QStringLiteral("share/doc/spiffs-manager/");
const QString udevRulePath = QStringLiteral("lib/udev/rules.d/70-spiffs-manager.rules");
const QString metainfoDir = QStringLiteral("share/metainfo/");
const QString appstreamId = QStringLiteral("io.github.spiffs_manager.spiffs_manager");
const QString sampleStoreDir = QStringLiteral("share/spiffs-manager/sample-store/");
const QString sampleStoreSource = QStringLiteral(SOURCE_DIR "/examples/sample-store/");

QString manualPagePath(const QString &program)
{
    return QStringLiteral("share/man/man1/%1.1.gz").arg(program);
}

// Each compressed file and what it was made from.
QList<QPair<QString, QString>> compressedFiles()
{
    QList<QPair<QString, QString>> files;
    // The pages are made at build time: the release's date in each, and
    // spiffs-cli's exit statuses from the program's table.
    for (const QString &program : programs)
        files.append({manualPagePath(program), QStringLiteral(BUILD_DIR "/generated/%1.1").arg(program)});
    files.append({docDir + QStringLiteral("changelog.Debian.gz"), QStringLiteral(SOURCE_DIR "/packaging/changelog")});
    files.append({docDir + QStringLiteral("README.md.gz"), QStringLiteral(SOURCE_DIR "/README.md")});
    files.append({docDir + QStringLiteral("troubleshooting.md.gz"), QStringLiteral(SOURCE_DIR "/docs/troubleshooting.md")});
    return files;
}

struct Run
{
    bool started = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a real program to its end, standard input closed.
Run run(const QString &program, const QStringList &arguments,
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    Run result;
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.closeWriteChannel();
    result.started = process.waitForStarted(30000);
    if (!result.started)
        return result;
    process.waitForFinished(120000);
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

// A tool the test needs; scripts/setup installs every one of them.
QString tool(const QString &name)
{
    return QStandardPaths::findExecutable(name);
}

QByteArray gunzip(const QString &path)
{
    const Run gzip = run(tool(QStringLiteral("gzip")), {QStringLiteral("-dc"), path});
    return gzip.exitCode == 0 ? gzip.out : QByteArray();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The section titles (.SH) of a manual page's source, in order.
QStringList manualSections(const QByteArray &page)
{
    QStringList sections;
    const QRegularExpression heading(QStringLiteral("^\\.SH +\"?([^\"\n]+)\"?$"),
                                     QRegularExpression::MultilineOption);
    QRegularExpressionMatchIterator matches = heading.globalMatch(QString::fromUtf8(page));
    while (matches.hasNext())
        sections << matches.next().captured(1).trimmed();
    return sections;
}

// The long options (--name) a program's --help lists.
QStringList helpOptions(const QByteArray &help)
{
    QStringList options;
    const QRegularExpression option(QStringLiteral("^ +(?:-[a-zA-Z], )?(--[a-z][a-z-]*)"),
                                    QRegularExpression::MultilineOption);
    QRegularExpressionMatchIterator matches = option.globalMatch(QString::fromUtf8(help));
    while (matches.hasNext())
        options << matches.next().captured(1);
    return options;
}

// One udev rule line: its KEY OPERATOR "VALUE" fields in order.
struct UdevField
{
    QString key;
    QString op;
    QString value;
};

// Parses a rules file as udev reads it: comments and blank lines skipped,
// fields separated by commas. Returns the rules, or an error naming the line.
QList<QList<UdevField>> parseUdevRules(const QByteArray &text, QString *error)
{
    static const QRegularExpression field(
            QStringLiteral("^\\s*([A-Z_]+(?:\\{[^}]+\\})?)\\s*(==|!=|\\+=|-=|:=|=)\\s*\"([^\"]*)\"\\s*(,|$)"));
    static const QSet<QString> keys = {QStringLiteral("ACTION"), QStringLiteral("KERNEL"), QStringLiteral("SUBSYSTEM"),
                                       QStringLiteral("SUBSYSTEMS"), QStringLiteral("ATTRS"), QStringLiteral("ATTR"),
                                       QStringLiteral("ENV"), QStringLiteral("TAG"), QStringLiteral("MODE"),
                                       QStringLiteral("GROUP"), QStringLiteral("SYMLINK")};
    QList<QList<UdevField>> rules;
    int number = 0;
    for (const QByteArray &rawLine : text.split('\n')) {
        ++number;
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        QList<UdevField> rule;
        int at = 0;
        while (at < line.size()) {
            const QRegularExpressionMatch match = field.match(line.mid(at));
            if (!match.hasMatch()) {
                *error = QStringLiteral("line %1: cannot read a field at \"%2\"").arg(number).arg(line.mid(at));
                return {};
            }
            const UdevField parsed = {match.captured(1), match.captured(2), match.captured(3)};
            const QString name = parsed.key.section(QLatin1Char('{'), 0, 0);
            const bool matching = parsed.op == QLatin1String("==") || parsed.op == QLatin1String("!=");
            if (!keys.contains(name)) {
                *error = QStringLiteral("line %1: unknown key %2").arg(number).arg(parsed.key);
                return {};
            }
            // Keys that only match take no assignment, and the reverse.
            const bool matchOnly = name == QLatin1String("ACTION") || name == QLatin1String("KERNEL")
                                   || name == QLatin1String("SUBSYSTEM") || name == QLatin1String("SUBSYSTEMS")
                                   || name == QLatin1String("ATTRS");
            const bool assignOnly = name == QLatin1String("MODE") || name == QLatin1String("GROUP");
            if ((matchOnly && !matching) || (assignOnly && matching)) {
                *error = QStringLiteral("line %1: %2 cannot take %3").arg(number).arg(parsed.key, parsed.op);
                return {};
            }
            rule << parsed;
            at += int(match.capturedLength(0));
        }
        rules << rule;
    }
    return rules;
}

QString iconPath(int size, const QString &name = QStringLiteral("spiffs-manager"))
{
    return QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(name);
}

// The keys and values of a desktop entry's [Desktop Entry] group.
QHash<QString, QString> desktopEntry(const QString &path)
{
    QHash<QString, QString> entry;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return entry;
    bool inGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const int equals = line.indexOf(QLatin1Char('='));
        if (inGroup && equals > 0)
            entry.insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }
    return entry;
}

QSet<QRgb> colours(const QImage &image)
{
    QSet<QRgb> found;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            found.insert(image.pixel(x, y));
    return found;
}

} // namespace

class InstallTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_prefix;

    QString installed(const QString &relative) const { return m_prefix.filePath(relative); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_prefix.isValid());
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QStringLiteral(CMAKE_COMMAND),
                      {QStringLiteral("--install"), QStringLiteral(BUILD_DIR), QStringLiteral("--prefix"),
                       m_prefix.path()});
        QVERIFY(install.waitForFinished(120000));
        const QByteArray output = install.readAll();
        QVERIFY2(install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0, output.constData());
    }

    void expectedFilesAndNoOthers()
    {
        QStringList expected = {QStringLiteral("bin/spiffs-cli"), QStringLiteral("bin/spiffs-emulator"),
                                QStringLiteral("bin/spiffs-manager"), entryPath};
        for (int size : iconSizes)
            expected << iconPath(size);
        for (const auto &compressed : compressedFiles())
            expected << compressed.first;
        expected << QStringLiteral("share/bash-completion/completions/spiffs-cli")
                 << QStringLiteral("share/zsh/vendor-completions/_spiffs-cli")
                 << QStringLiteral("share/fish/vendor_completions.d/spiffs-cli.fish");
        expected << docDir + QStringLiteral("copyright") << udevRulePath
                 << metainfoDir + appstreamId + QStringLiteral(".metainfo.xml");
        for (const QString &name : QDir(sampleStoreSource).entryList(QDir::Files))
            expected << sampleStoreDir + name;
        expected.sort();

        QStringList found;
        const QDir prefix(m_prefix.path());
        QDirIterator files(m_prefix.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (files.hasNext())
            found << prefix.relativeFilePath(files.next());
        found.sort();
        QCOMPARE(found, expected);
    }

    void programsRunFromThePrefix()
    {
        QVERIFY(QFileInfo(installed(QStringLiteral("bin/spiffs-manager"))).isExecutable());
        QVERIFY(QFileInfo(installed(QStringLiteral("bin/spiffs-emulator"))).isExecutable());
        QVERIFY(QFileInfo(installed(QStringLiteral("bin/spiffs-cli"))).isExecutable());

        QProcess emulator;
        emulator.start(installed(QStringLiteral("bin/spiffs-emulator")), {QStringLiteral("--help")});
        QVERIFY(emulator.waitForFinished(30000));
        QCOMPARE(emulator.exitStatus(), QProcess::NormalExit);
        QCOMPARE(emulator.exitCode(), 0);
        QVERIFY(emulator.readAll().contains("--dir"));

        QProcess cli;
        cli.start(installed(QStringLiteral("bin/spiffs-cli")), {QStringLiteral("--help")});
        QVERIFY(cli.waitForFinished(30000));
        QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
        QCOMPARE(cli.exitCode(), 0);
        QVERIFY(cli.readAll().contains("Exit status"));
    }

    // The pages' examples serve the sample store the program installs, as it
    // is in the source tree; a folder they copy is that store, or a backup
    // the same example makes first.
    void examplesServeTheInstalledSampleStore()
    {
        const QStringList names = QDir(sampleStoreSource).entryList(QDir::Files);
        QCOMPARE(names.size(), 10);
        for (const QString &name : names)
            QVERIFY2(readFile(installed(sampleStoreDir + name)) == readFile(sampleStoreSource + name), qPrintable(name));

        const QString packaged = QStringLiteral("/usr/") + sampleStoreDir;
        const QByteArray copied = "cp \\-R " + packaged.chopped(1).replace(QLatin1Char('-'), QLatin1String("\\-")).toUtf8();
        for (const QString &program : programs) {
            const QByteArray page = gunzip(installed(manualPagePath(program)));
            const QByteArray examples = page.mid(page.indexOf(".SH EXAMPLES\n"));
            QVERIFY2(examples.contains(copied + " /tmp/store\n"), qPrintable(program));
            for (const QByteArray &line : examples.split('\n')) {
                if (!line.startsWith("cp ") || line.startsWith(copied))
                    continue;
                const QByteArray folder = line.split(' ').value(2);
                QVERIFY2(examples.left(examples.indexOf(line)).contains("backup " + folder), line.constData());
            }
        }
    }

    void manualPageNamesTheProgram()
    {
        const QByteArray text = gunzip(installed(manualPath));
        QVERIFY(text.startsWith(".TH SPIFFS-CLI 1 "));
        QVERIFY(text.contains("\\-\\-timeout"));
    }

    void desktopEntryStartsTheInstalledProgram()
    {
        const QHash<QString, QString> entry = desktopEntry(installed(entryPath));
        QCOMPARE(entry.value(QStringLiteral("Type")), QStringLiteral("Application"));
        QVERIFY(!entry.value(QStringLiteral("Name")).isEmpty());
        QVERIFY(!entry.value(QStringLiteral("Comment")).isEmpty());
        QCOMPARE(entry.value(QStringLiteral("Exec")), QStringLiteral("spiffs-manager"));
        QVERIFY(QFileInfo(installed(QStringLiteral("bin/") + entry.value(QStringLiteral("Exec")))).isExecutable());
        QCOMPARE(entry.value(QStringLiteral("Terminal")), QStringLiteral("false"));
        QVERIFY(entry.value(QStringLiteral("Categories")).split(QLatin1Char(';')).contains(QStringLiteral("Utility")));

        const QString icon = entry.value(QStringLiteral("Icon"));
        QCOMPARE(icon, QStringLiteral("spiffs-manager"));
        for (int size : iconSizes)
            QVERIFY2(QFile::exists(installed(iconPath(size, icon))), qPrintable(iconPath(size, icon)));
    }

    void desktopEntryValidates()
    {
        const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (validator.isEmpty())
            QSKIP("desktop-file-validate is not installed (Debian package desktop-file-utils)");
        QProcess validate;
        validate.setProcessChannelMode(QProcess::MergedChannels);
        validate.start(validator, {installed(entryPath)});
        QVERIFY(validate.waitForFinished(30000));
        const QByteArray output = validate.readAll();
        QVERIFY2(validate.exitStatus() == QProcess::NormalExit && validate.exitCode() == 0, output.constData());
        // Warnings and hints leave the exit status alone; accept none.
        QCOMPARE(output, QByteArray());
    }

    // gzip -9n, as Debian compresses: gzip's magic, deflate, no name and no
    // time stamp in the header (the same bytes from every build), the best
    // compression flag; and unpacked, exactly the file it was made from.
    void compressedAsDebianDoes()
    {
        QVERIFY2(!tool(QStringLiteral("gzip")).isEmpty(), "gzip is not installed");
        for (const auto &compressed : compressedFiles()) {
            const QByteArray bytes = readFile(installed(compressed.first));
            QVERIFY2(bytes.size() > 18, qPrintable(compressed.first));
            QCOMPARE(quint8(bytes.at(0)), quint8(0x1f));
            QCOMPARE(quint8(bytes.at(1)), quint8(0x8b));
            QCOMPARE(quint8(bytes.at(2)), quint8(8));
            QVERIFY2((quint8(bytes.at(3)) & 0x08) == 0, "the header names the original file");
            QVERIFY2(bytes.mid(4, 4) == QByteArray(4, '\0'), "the header holds a time stamp");
            QCOMPARE(quint8(bytes.at(8)), quint8(2));

            const QByteArray source = readFile(compressed.second);
            QVERIFY(!source.isEmpty());
            QVERIFY2(gunzip(installed(compressed.first)) == source, qPrintable(compressed.first));
        }
    }

    // As lintian checks them: man renders each page with warnings on and
    // prints none, and lexgrog finds the NAME line's "name - summary".
    void manualPagesRenderWithoutWarnings_data()
    {
        QTest::addColumn<QString>("program");
        for (const QString &program : programs)
            QTest::newRow(qPrintable(program)) << program;
    }

    void manualPagesRenderWithoutWarnings()
    {
        QFETCH(QString, program);
        const QString man = tool(QStringLiteral("man"));
        QVERIFY2(!man.isEmpty(), "man is not installed (Debian package man-db)");
        const QString page = installed(manualPagePath(program));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        environment.insert(QStringLiteral("MANROFFSEQ"), QString());
        for (const QString &width : {QStringLiteral("80"), QStringLiteral("120")}) {
            environment.insert(QStringLiteral("MANWIDTH"), width);
            const Run rendered = run(man, {QStringLiteral("--warnings"), QStringLiteral("-E"), QStringLiteral("UTF-8"),
                                           QStringLiteral("-l"), QStringLiteral("-Tutf8"), QStringLiteral("-Z"), page},
                                     environment);
            QVERIFY(rendered.started);
            QVERIFY2(rendered.exitCode == 0, rendered.err.constData());
            QCOMPARE(QString::fromUtf8(rendered.err), QString());
            QVERIFY(rendered.out.size() > 1000);
        }

        const Run whatis = run(tool(QStringLiteral("lexgrog")), {page}, environment);
        QVERIFY2(whatis.exitCode == 0, whatis.out.constData());
        QVERIFY2(whatis.out.contains(QStringLiteral(": \"%1 - ").arg(program).toUtf8()), whatis.out.constData());
    }

    void manualPagesHaveTheirSections()
    {
        QHash<QString, QStringList> sections;
        for (const QString &program : programs) {
            const QByteArray page = gunzip(installed(manualPagePath(program)));
            QVERIFY(page.startsWith(".TH " + program.toUpper().toUtf8() + " 1 "));
            sections.insert(program, manualSections(page));
            const QStringList &found = sections[program];
            for (const QString &section : {QStringLiteral("NAME"), QStringLiteral("SYNOPSIS"),
                                           QStringLiteral("DESCRIPTION"), QStringLiteral("OPTIONS"),
                                           QStringLiteral("EXAMPLES"), QStringLiteral("SEE ALSO")})
                QVERIFY2(found.contains(section), qPrintable(program + QLatin1Char(' ') + section));
            QCOMPARE(found.constFirst(), QStringLiteral("NAME"));
            QCOMPARE(found.constLast(), QStringLiteral("SEE ALSO"));
            // Each page points to the other two.
            const QString seeAlso = QString::fromUtf8(page.mid(page.indexOf(".SH SEE ALSO")));
            for (const QString &other : programs) {
                if (other != program)
                    QVERIFY2(seeAlso.contains(QString(other).replace(QLatin1Char('-'), QLatin1String("\\-"))
                                              + QLatin1String(" (1)")),
                             qPrintable(program + QLatin1String(" -> ") + other));
            }
        }
        // Where the receiver's port comes from, who may open it, and the
        // rule that lets them.
        for (const QString &program : {QStringLiteral("spiffs-manager"), QStringLiteral("spiffs-cli")}) {
            for (const QString &section : {QStringLiteral("ENVIRONMENT"), QStringLiteral("FILES"),
                                           QStringLiteral("PORT ACCESS")})
                QVERIFY2(sections[program].contains(section), qPrintable(program + QLatin1Char(' ') + section));
            const QByteArray page = gunzip(installed(manualPagePath(program)));
            for (const char *text : {"SPIFFS_MANAGER_PORTS", "70\\-spiffs\\-manager.rules", "uaccess", "dialout",
                                     "uucp", "usermod"})
                QVERIFY2(page.contains(text), qPrintable(program + QLatin1Char(' ') + QLatin1String(text)));
        }
        const QByteArray window = gunzip(installed(manualPagePath(QStringLiteral("spiffs-manager"))));
        for (const char *text : {"SPIFFS_TRACE", "brltty", "udevadm control \\-\\-reload", "udevadm trigger",
                                 "/etc/udev/rules.d/", "ID_MM_DEVICE_IGNORE"})
            QVERIFY2(window.contains(text), text);
        // How the port is chosen, each rule in its turn.
        int at = window.indexOf(".SS The port\n");
        for (const char *rule : {"cu.SLAB_USBtoUART", "SPIFFS_MANAGER_PORTS", "10c4:ea60", "first port listed", ".SS Connect\n"}) {
            QVERIFY2(window.indexOf(rule, at) > at, rule);
            at = window.indexOf(rule, at);
        }
        for (const char *button : {"Connect", "Download", "Upload", "Remove", "Format", "Execute", "Reboot", "Scan"})
            QVERIFY2(window.contains(QByteArray(".SS ") + button) || window.contains(QByteArray("\n.B ") + button),
                     button);
        QVERIFY(gunzip(installed(manualPagePath(QStringLiteral("spiffs-cli")))).contains("SPIFFS_PORT"));
        QVERIFY(sections[QStringLiteral("spiffs-emulator")].contains(QStringLiteral("EXIT STATUS")));
    }

    // One release in every page's header: the version and the date of the
    // changelog's latest entry, as the AppStream metadata gives them.
    void manualPagesCarryTheRelease_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QByteArray>("synopsis"); // a line of it
        QTest::newRow("spiffs-manager") << QStringLiteral("spiffs-manager") << QByteArray(".RI [ QT-OPTIONS ]");
        QTest::newRow("spiffs-cli, with chains") << QStringLiteral("spiffs-cli") << QByteArray(".RB [ +");
        QTest::newRow("spiffs-emulator") << QStringLiteral("spiffs-emulator") << QByteArray(".RI [ OPTION ...]");
    }
    void manualPagesCarryTheRelease()
    {
        QFETCH(QString, program);
        QFETCH(QByteArray, synopsis);
        const QString changelog = QString::fromUtf8(readFile(QStringLiteral(SOURCE_DIR "/packaging/changelog")));
        const QRegularExpression entry(QStringLiteral("^spiffs-manager \\(([^-)]+)-[^)]+\\)[^\n]*\n.*?\n -- [^\n]*>  ([^\n]+)"),
                                       QRegularExpression::DotMatchesEverythingOption);
        const QRegularExpressionMatch latest = entry.match(changelog);
        QVERIFY(latest.hasMatch());
        const QDate date = QDateTime::fromString(latest.captured(2), Qt::RFC2822Date).date();
        QVERIFY(date.isValid());

        const QByteArray page = gunzip(installed(manualPagePath(program)));
        QCOMPARE(page.left(page.indexOf('\n')),
                 ".TH " + program.toUpper().toUtf8() + " 1 \"" + date.toString(Qt::ISODate).toUtf8()
                         + "\" \"spiffs-manager " + latest.captured(1).toUtf8() + "\" \"User Commands\"");
        const QByteArray metainfo = readFile(installed(metainfoDir + appstreamId + QStringLiteral(".metainfo.xml")));
        QVERIFY(metainfo.contains("date=\"" + date.toString(Qt::ISODate).toUtf8() + "\""));
        const int start = page.indexOf(".SH SYNOPSIS\n");
        const QByteArray section = page.mid(start, page.indexOf("\n.SH ", start) + 1 - start);
        QVERIFY2(section.contains('\n' + synopsis + '\n'), section.constData());
    }

    // Every long option the installed programs' --help lists is in their
    // manual page.
    void manualPagesDocumentEveryOption_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("spiffs-cli") << QStringLiteral("spiffs-cli");
        QTest::newRow("spiffs-emulator") << QStringLiteral("spiffs-emulator");
    }

    void manualPagesDocumentEveryOption()
    {
        QFETCH(QString, program);
        const Run help = run(installed(QStringLiteral("bin/") + program), {QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        const QStringList options = helpOptions(help.out);
        QVERIFY2(options.size() >= 5, help.out.constData());
        const QByteArray page = gunzip(installed(manualPagePath(program)));
        for (const QString &option : options) {
            const QByteArray escaped = QString(option).replace(QLatin1Char('-'), QLatin1String("\\-")).toUtf8();
            QVERIFY2(page.contains(".B " + escaped) || page.contains(".BI " + escaped)
                             || page.contains(".BR " + escaped) || page.contains(", \" " + escaped),
                     qPrintable(program + QLatin1Char(' ') + option));
        }
    }

    // COMMAND --help is the command's own: its synopsis, its text, each
    // option the synopsis shows, and one line that leads to what every
    // command shares. A row for each command the general help lists.
    void commandHelpIsItsOwn_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("options");
        const Run general = run(installed(QStringLiteral("bin/spiffs-cli")), {QStringLiteral("--help")});
        const QString commands = QString::fromUtf8(general.out).section(QStringLiteral("\nCommands:\n"), 1).section(QStringLiteral("\n\n"), 0, 0);
        const QRegularExpression option(QStringLiteral("\\[(--?[a-z-]+)\\]"));
        for (const QString &line : commands.split(QLatin1Char('\n'))) {
            const QString synopsis = line.trimmed();
            if (!line.startsWith(QLatin1String("  ")) || line.startsWith(QLatin1String("   ")))
                continue; // a summary on a line of its own
            QStringList options;
            for (auto match = option.globalMatch(synopsis); match.hasNext();)
                options << match.next().captured(1);
            QTest::newRow(qPrintable(synopsis.section(QLatin1Char(' '), 0, 0))) << synopsis.section(QLatin1Char(' '), 0, 0) << options;
        }
    }
    void commandHelpIsItsOwn()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, options);
        const Run help = run(installed(QStringLiteral("bin/spiffs-cli")), {command, QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.startsWith("Usage: spiffs-cli [OPTIONS] " + command.toUtf8()));
        QVERIFY2(!help.out.contains("Exit status") && !help.out.contains("--timeout") && !help.out.contains("--trace"),
                 help.out.constData());
        QVERIFY2(help.out.endsWith("\n\nOptions for all commands, chains with \"+\", exit statuses: spiffs-cli --help\n"),
                 help.out.constData());
        const QByteArray own = help.out.mid(help.out.indexOf("\nOptions:\n"));
        for (const QString &option : std::as_const(options))
            QVERIFY2(own.contains(' ' + option.toUtf8() + ',') || own.contains(' ' + option.toUtf8() + ' '), qPrintable(option));
        QVERIFY2(help.out.count('\n') <= 30, help.out.constData());
    }

    // The manual's SYNOPSIS and COMMANDS are made from the table the help is
    // made from: the same usage line, and for every command the general help
    // lists, in its order, the command's own help (synopsis, text, options).
    void manualCommandsAreTheHelp()
    {
        const QString cli = installed(QStringLiteral("bin/spiffs-cli"));
        const QString general = QString::fromUtf8(run(cli, {QStringLiteral("--help")}).out);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // Each paragraph on a line of its own, no word hyphenated.
        environment.insert(QStringLiteral("MANWIDTH"), QStringLiteral("5000"));
        environment.insert(QStringLiteral("MANROFFOPT"), QStringLiteral("-rHY=0"));
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        const Run rendered = run(tool(QStringLiteral("man")), {QStringLiteral("-l"), installed(manualPath)}, environment);
        QCOMPARE(rendered.exitCode, 0);
        const auto section = [&](const char *title) {
            const QString text = QString::fromUtf8(rendered.out);
            const int start = text.indexOf(QLatin1Char('\n') + QLatin1String(title) + QLatin1Char('\n'));
            const int end = text.indexOf(QRegularExpression(QStringLiteral("\n[A-Z]")), start + 1);
            return text.mid(start, end - start).simplified();
        };
        const QString usage = general.section(QStringLiteral("\n\n"), 0, 0).simplified();
        QCOMPARE(section("SYNOPSIS").section(QStringLiteral(" spiffs-cli COMMAND --help"), 0, 0),
                 QStringLiteral("SYNOPSIS ") + usage.mid(QStringLiteral("Usage: ").size()));

        const QString commands = section("COMMANDS");
        const QString listed = general.section(QStringLiteral("\nCommands:\n"), 1).section(QStringLiteral("\n\n"), 0, 0);
        int after = 0;
        for (const QString &line : listed.split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("   ")))
                continue; // a summary on a line of its own
            const QString command = line.trimmed().section(QLatin1Char(' '), 0, 0);
            const QString help = QString::fromUtf8(run(cli, {command, QStringLiteral("--help")}).out);
            QString own = help.section(QStringLiteral("\n\nOptions for all commands"), 0, 0);
            own = own.mid(QStringLiteral("Usage: spiffs-cli [OPTIONS] ").size()).remove(QStringLiteral("\nOptions:\n")).simplified();
            const int at = commands.indexOf(own, after);
            QVERIFY2(at >= after, qPrintable(command + QStringLiteral(": ") + own));
            after = at + int(own.size());
        }
    }

    // scripts/package builds through scripts/logged: a step's output goes to
    // the log, and is shown only when the step fails, its end first read.
    void logSpeaksOnlyOnFailure_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArrayList>("said");    // on standard error
        QTest::addColumn<QByteArrayList>("notSaid"); // on standard error
        QTest::newRow("a step that succeeds says nothing")
                << "echo '[1/9] Building'; echo 'a note' >&2" << 0 << QByteArrayList() << QByteArrayList{"Building", "note"};
        QTest::newRow("a step that fails shows its output")
                << "echo '[1/9] Building'; echo 'x.cpp:1: error: no' >&2; exit 3" << 3
                << QByteArrayList{"[1/9] Building", "x.cpp:1: error: no", "exit status 3", "package.log"} << QByteArrayList();
        QTest::newRow("a long one, its end") << "seq 1000 | sed 's/^/line /'; exit 1" << 1
                                             << QByteArrayList{"line 1000\n", "line 801\n"} << QByteArrayList{"line 800\n"};
    }
    void logSpeaksOnlyOnFailure()
    {
        QFETCH(QString, script);
        QFETCH(int, exitCode);
        QFETCH(QByteArrayList, said);
        QFETCH(QByteArrayList, notSaid);
        QTemporaryDir folder;
        const QString log = folder.filePath(QStringLiteral("package.log"));
        const Run step = run(QStringLiteral(SOURCE_DIR "/scripts/logged"), {log, QStringLiteral("sh"), QStringLiteral("-c"), script});
        QCOMPARE(step.exitCode, exitCode);
        QCOMPARE(step.out, QByteArray());
        for (const QByteArray &text : std::as_const(said))
            QVERIFY2(step.err.contains(text), step.err.constData());
        for (const QByteArray &text : std::as_const(notSaid))
            QVERIFY2(!step.err.contains(text), step.err.constData());
        // All of it in the log, after the command.
        const QByteArray logged = readFile(log);
        QVERIFY(logged.startsWith("== sh -c " + script.toUtf8() + '\n'));
        QVERIFY(logged.contains(exitCode == 1 ? "line 1\n" : "[1/9] Building\n"));
    }

    // Debian's machine-readable format, its licence text that of LICENSE.
    void copyrightIsMachineReadable()
    {
        const QString copyright = QString::fromUtf8(readFile(installed(docDir + QStringLiteral("copyright"))));
        QVERIFY(copyright.startsWith(
                QLatin1String("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n")));
        QVERIFY(copyright.contains(QLatin1String("\nUpstream-Name: spiffs-manager\n")));
        QVERIFY(copyright.contains(QLatin1String(
                "\n\nFiles: *\nCopyright: 2026 SPIFFS manager developers\nLicense: Expat\n\nLicense: Expat\n ")));

        // Unfolded, the licence paragraph is LICENSE after its copyright line.
        const QString licence = copyright.mid(copyright.lastIndexOf(QLatin1String("License: Expat\n")) + 15);
        QStringList lines;
        for (const QString &line : licence.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            QVERIFY2(line.startsWith(QLatin1Char(' ')), qPrintable(line));
            lines << (line == QLatin1String(" .") ? QString() : line.mid(1));
        }
        const QString license = QString::fromUtf8(readFile(QStringLiteral(SOURCE_DIR "/LICENSE")));
        QVERIFY(license.startsWith(QLatin1String("MIT License\n\nCopyright (c) 2026 SPIFFS manager developers\n")));
        const QString terms = license.section(QLatin1String("SPIFFS manager developers\n\n"), 1).trimmed();
        QCOMPARE(lines.join(QLatin1Char('\n')), terms);
    }

    // The latest entry is this release, in Debian's changelog format, and
    // its version is the one the programs print.
    void changelogIsThisRelease()
    {
        const QStringList lines =
                QString::fromUtf8(gunzip(installed(docDir + QStringLiteral("changelog.Debian.gz")))).split('\n');
        QVERIFY(lines.size() > 4);
        const QRegularExpression head(QStringLiteral(
                "^spiffs-manager \\(([0-9.]+)-([0-9]+)\\) (unstable|stable|bookworm)(; urgency=(low|medium|high))$"));
        const QRegularExpressionMatch entry = head.match(lines.constFirst());
        QVERIFY2(entry.hasMatch(), qPrintable(lines.constFirst()));
        QVERIFY(lines.at(1).isEmpty());
        QVERIFY(lines.at(2).startsWith(QLatin1String("  * ")));

        const Run version = run(installed(QStringLiteral("bin/spiffs-cli")), {QStringLiteral("--version")});
        QCOMPARE(QString::fromUtf8(version.out).trimmed(), QStringLiteral("spiffs-cli ") + entry.captured(1));

        const QRegularExpression trailer(QStringLiteral("^ -- ([^<]+) <([^@ ]+@[^> ]+\\.[^> ]+)>  (.+)$"));
        QRegularExpressionMatch signedBy;
        for (const QString &line : lines) {
            signedBy = trailer.match(line);
            if (signedBy.hasMatch())
                break;
            QVERIFY2(line.size() <= 80, qPrintable(line));
        }
        QVERIFY(signedBy.hasMatch());
        QCOMPARE(signedBy.captured(1), QStringLiteral("SPIFFS manager developers"));
        QVERIFY(!signedBy.captured(2).endsWith(QLatin1String("@localhost")));
        const QDateTime date = QDateTime::fromString(signedBy.captured(3), Qt::RFC2822Date);
        QVERIFY2(date.isValid(), qPrintable(signedBy.captured(3)));
        QCOMPARE(date.date(), QDate(2026, 12, 7));
    }

    void metainfoValidates()
    {
        const QString appstreamcli = tool(QStringLiteral("appstreamcli"));
        QVERIFY2(!appstreamcli.isEmpty(), "appstreamcli is not installed (Debian package appstream)");
        const Run validate = run(appstreamcli, {QStringLiteral("validate"), QStringLiteral("--no-net"),
                                                QStringLiteral("--strict"),
                                                installed(metainfoDir + appstreamId + QStringLiteral(".metainfo.xml"))});
        QVERIFY(validate.started);
        // --strict fails on warnings and infos too; pedantic hints are all
        // that may be left.
        QVERIFY2(validate.exitCode == 0, (validate.out + validate.err).constData());
        for (const QByteArray &line : validate.out.split('\n'))
            QVERIFY2(!QRegularExpression(QStringLiteral("^[EWI]: ")).match(QString::fromUtf8(line)).hasMatch(),
                     line.constData());
    }

    // The metadata names the installed desktop entry, this release, and the
    // bridge the udev rule is for.
    void metainfoMatchesWhatIsInstalled()
    {
        const QString metainfo =
                QString::fromUtf8(readFile(installed(metainfoDir + appstreamId + QStringLiteral(".metainfo.xml"))));
        QVERIFY(metainfo.contains(QStringLiteral("<id>%1</id>").arg(appstreamId)));
        const QRegularExpressionMatch launchable =
                QRegularExpression(QStringLiteral("<launchable type=\"desktop-id\">([^<]+)</launchable>")).match(metainfo);
        QVERIFY(launchable.hasMatch());
        QCOMPARE(QStringLiteral("share/applications/") + launchable.captured(1), entryPath);
        for (const QString &license : {QStringLiteral("metadata_license"), QStringLiteral("project_license")})
            QVERIFY(metainfo.contains(QStringLiteral("<%1>MIT</%1>").arg(license)));
        QVERIFY(metainfo.contains(QLatin1String("<content_rating type=\"oars-1.1\"")));
        QVERIFY(metainfo.contains(QLatin1String("<developer_name>SPIFFS manager developers</developer_name>")));
        QVERIFY(metainfo.contains(QLatin1String("<caption>")));

        const Run version = run(installed(QStringLiteral("bin/spiffs-cli")), {QStringLiteral("--version")});
        const QString number = QString::fromUtf8(version.out).trimmed().section(QLatin1Char(' '), 1);
        QVERIFY(metainfo.contains(QStringLiteral("<release version=\"%1\" date=\"2026-12-07\"/>").arg(number)));

        const QRegularExpressionMatch modalias =
                QRegularExpression(QStringLiteral("<modalias>usb:v([0-9A-F]{4})p([0-9A-F]{4})d\\*</modalias>"))
                        .match(metainfo);
        QVERIFY(modalias.hasMatch());
        const QByteArray rule = readFile(installed(udevRulePath));
        QVERIFY(rule.contains("ATTRS{idVendor}==\"" + modalias.captured(1).toLower().toUtf8() + '"'));
        QVERIFY(rule.contains("ATTRS{idProduct}==\"" + modalias.captured(2).toLower().toUtf8() + '"'));
    }

    // A rule for the tty of each bridge the programs know, tagged uaccess
    // before 73-seat-late.rules acts on the tag, and ignored by ModemManager.
    void udevRuleTagsTheBridges()
    {
        QString error;
        const QList<QList<UdevField>> rules = parseUdevRules(readFile(installed(udevRulePath)), &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QSet<QString> ruled;
        for (const QList<UdevField> &rule : rules) {
            QHash<QString, QPair<QString, QString>> fields;
            for (const UdevField &field : rule) {
                QVERIFY2(!fields.contains(field.key), qPrintable(field.key));
                fields.insert(field.key, {field.op, field.value});
            }
            const QString vendor = fields.value(QStringLiteral("ATTRS{idVendor}")).second;
            const QString product = fields.value(QStringLiteral("ATTRS{idProduct}")).second;
            const QHash<QString, QPair<QString, QString>> expected = {
                    {QStringLiteral("SUBSYSTEM"), {QStringLiteral("=="), QStringLiteral("tty")}},
                    {QStringLiteral("ATTRS{idVendor}"), {QStringLiteral("=="), vendor}},
                    {QStringLiteral("ATTRS{idProduct}"), {QStringLiteral("=="), product}},
                    {QStringLiteral("TAG"), {QStringLiteral("+="), QStringLiteral("uaccess")}},
                    {QStringLiteral("ENV{ID_MM_DEVICE_IGNORE}"), {QStringLiteral("="), QStringLiteral("1")}}};
            QCOMPARE(fields, expected);
            ruled << vendor + QLatin1Char(':') + product;
        }
        QSet<QString> known;
        for (const PortDiscovery::KnownBridge &bridge : PortDiscovery::KnownBridges) {
            known << QStringLiteral("%1:%2").arg(bridge.vendorId, 4, 16, QLatin1Char('0')).arg(bridge.productId, 4, 16,
                                                                                              QLatin1Char('0'));
        }
        QCOMPARE(ruled, known);

        const int number = QFileInfo(udevRulePath).fileName().section(QLatin1Char('-'), 0, 0).toInt();
        QVERIFY(number > 0 && number < 73);

        // The programs look for the receiver's own bridge first.
        const Run help = run(installed(QStringLiteral("bin/spiffs-cli")), {QStringLiteral("--help")});
        QVERIFY(help.out.contains("10c4:ea60"));
    }

    void udevRuleParserRefusesWhatUdevRefuses()
    {
        QString error;
        QCOMPARE(parseUdevRules("# only a comment\n\n", &error).size(), 0);
        QVERIFY(error.isEmpty());
        for (const QByteArray &bad : {QByteArray("SUBSYSTEM=\"tty\", TAG+=\"uaccess\""),
                                      QByteArray("SUBSYSTEM==\"tty\" TAG+=\"uaccess\""),
                                      QByteArray("SUBSYSTEM==tty"), QByteArray("GROUP==\"dialout\""),
                                      QByteArray("ATTRS{idVendor}=\"10c4\""), QByteArray("SUBSYTEM==\"tty\"")}) {
            error.clear();
            parseUdevRules(bad, &error);
            QVERIFY2(!error.isEmpty(), bad.constData());
        }
    }

    // systemd 253 and later check a rules file themselves; Debian 12's
    // udevadm (252) has no `verify`, and the parser above stands in.
    void udevadmVerifiesTheRule()
    {
        const QString udevadm = tool(QStringLiteral("udevadm"));
        if (udevadm.isEmpty() || run(udevadm, {QStringLiteral("verify"), QStringLiteral("--help")}).exitCode != 0)
            QSKIP("this udevadm has no verify command");
        const Run verify = run(udevadm, {QStringLiteral("verify"), installed(udevRulePath)});
        QVERIFY2(verify.exitCode == 0, (verify.out + verify.err).constData());
    }

    void iconIsTheSameArtAtEverySize()
    {
        const QImage smallest = QImage(installed(iconPath(16))).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(smallest.size(), QSize(16, 16));
        for (int size : iconSizes) {
            const QImage image = QImage(installed(iconPath(size))).convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(image.size(), QSize(size, size));
            QVERIFY2(image == smallest.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation),
                     qPrintable(iconPath(size)));
        }
    }

    void iconIsDrawnAsTheFileIconsAre()
    {
        const QImage app = QImage(installed(iconPath(16))).convertToFormat(QImage::Format_ARGB32);
        const QImage file =
                QImage(QStringLiteral(SOURCE_DIR "/resources/icons/text.png")).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(app.size(), file.size());
        // The same two opaque greys, the same dark square around the tile
        // and the same cut corners.
        QCOMPARE(colours(app), colours(file));
        QCOMPARE(colours(app).size(), 2);
        const int last = app.width() - 1;
        for (int i = 0; i <= last; ++i) {
            QCOMPARE(app.pixel(i, 0), file.pixel(i, 0));
            QCOMPARE(app.pixel(i, last), file.pixel(i, last));
            QCOMPARE(app.pixel(0, i), file.pixel(0, i));
            QCOMPARE(app.pixel(last, i), file.pixel(last, i));
        }
        for (const QPoint corner : {QPoint(1, 1), QPoint(last - 1, 1), QPoint(1, last - 1), QPoint(last - 1, last - 1)})
            QCOMPARE(app.pixel(corner), file.pixel(corner));
    }
};

QTEST_GUILESS_MAIN(InstallTest)
#include "tst_install.moc"
