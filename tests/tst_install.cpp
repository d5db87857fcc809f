// `cmake --install` into a fresh prefix, as a user or a package build runs it:
// the three programs, the command line's manual page, the desktop entry and
// the program's icon land where they are looked for, and nothing else does.
#include <QtCore/QDir>
#include <QtCore/QDirIterator>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QHash>
#include <QtCore/QProcess>
#include <QtCore/QSet>
#include <QtCore/QStandardPaths>
#include <QtCore/QTemporaryDir>
#include <QtGui/QImage>
#include <QtTest/QTest>

namespace {

const int iconSizes[] = {16, 32, 48, 64, 128, 256};
const QString entryPath = QStringLiteral("share/applications/spiffs-manager.desktop");
const QString manualPath = QStringLiteral("share/man/man1/spiffs-cli.1");

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
                                QStringLiteral("bin/spiffs-manager"), manualPath, entryPath};
        for (int size : iconSizes)
            expected << iconPath(size);
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

    void manualPageNamesTheProgram()
    {
        QFile page(installed(manualPath));
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QByteArray text = page.readAll();
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
