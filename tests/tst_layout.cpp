// The tree as README draws it: every module (a header and its source)
// depends one way, and each folder only on the folders below it.
#include <QtCore/QDir>
#include <QtCore/QDirIterator>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QHash>
#include <QtCore/QRegularExpression>
#include <QtCore/QSet>
#include <QtTest/QTest>

#include <functional>

namespace {

const QStringList OurFolders{"core", "ui", "link", "catalogue", "transfer", "commands", "app", "cli", "emulator"};

// Each module of ours ("cli/jobs/manifest") and the modules it includes.
QHash<QString, QSet<QString>> moduleIncludes()
{
    static const QRegularExpression include(QStringLiteral("^#include \"([^\"]+)\\.h\""),
                                            QRegularExpression::MultilineOption);
    QHash<QString, QSet<QString>> modules;
    const QDir source(QStringLiteral(SOURCE_DIR));
    for (const QString &folder : OurFolders) {
        QDirIterator files(source.filePath(folder), {"*.cpp", "*.h"}, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = source.relativeFilePath(files.next());
            const QString module = path.left(path.lastIndexOf(QLatin1Char('.')));
            QFile file(files.filePath());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromUtf8(file.readAll());
            QSet<QString> &included = modules[module];
            for (auto match = include.globalMatch(text); match.hasNext();) {
                QString target = match.next().captured(1);
                // A bare name is its own folder's (the emulator's way).
                if (!target.contains(QLatin1Char('/')))
                    target = QFileInfo(module).path() + QLatin1Char('/') + target;
                if (target != module)
                    included.insert(target);
            }
        }
    }
    return modules;
}

QString folderOf(const QString &module)
{
    return QFileInfo(module).path();
}

// A loop through from, if any: the modules on it, in order.
QStringList loopThrough(const QHash<QString, QSet<QString>> &modules, const QString &from)
{
    QStringList path{from};
    QSet<QString> seen;
    std::function<bool(const QString &)> walk = [&](const QString &module) {
        for (const QString &next : modules.value(module)) {
            if (next == from)
                return true;
            if (seen.contains(next) || !modules.contains(next))
                continue;
            seen.insert(next);
            path << next;
            if (walk(next))
                return true;
            path.removeLast();
        }
        return false;
    };
    return walk(from) ? path : QStringList();
}

} // namespace

class LayoutTest : public QObject
{
    Q_OBJECT

private slots:
    void modulesDependOneWay()
    {
        const QHash<QString, QSet<QString>> modules = moduleIncludes();
        QVERIFY(modules.size() > 80);
        for (auto module = modules.cbegin(); module != modules.cend(); ++module) {
            const QStringList loop = loopThrough(modules, module.key());
            QVERIFY2(loop.isEmpty(), qPrintable(loop.join(QStringLiteral(" -> "))));
        }
    }

    // Each folder may include from these, and from itself.
    void foldersDependDownward_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QStringList>("below");
        const QStringList window{"catalogue", "link", "ui", "core"};
        QTest::newRow("core") << "core" << QStringList();
        QTest::newRow("ui") << "ui" << QStringList();
        QTest::newRow("link") << "link" << QStringList{"ui", "core"};
        QTest::newRow("catalogue") << "catalogue" << QStringList{"link", "ui", "core"};
        QTest::newRow("transfer") << "transfer" << window;
        QTest::newRow("commands") << "commands" << window;
        QTest::newRow("app") << "app" << QStringList{"transfer", "commands"} + window;
        QTest::newRow("emulator") << "emulator" << QStringList();
        // The command line's folders, each only on those after it.
        const QStringList cli{"cli/texts", "cli/table", "cli/commands", "cli/jobs",
                              "cli/session", "cli/names", "cli/output", "cli/line"};
        QTest::newRow("cli") << "cli" << cli + QStringList{"core"};
        for (int i = 0; i < cli.size(); ++i)
            QTest::newRow(qPrintable(cli.at(i))) << cli.at(i) << cli.mid(i + 1) + QStringList{"core"};
    }
    void foldersDependDownward()
    {
        QFETCH(QString, folder);
        QFETCH(QStringList, below);
        const QHash<QString, QSet<QString>> modules = moduleIncludes();
        int seen = 0;
        for (auto module = modules.cbegin(); module != modules.cend(); ++module) {
            if (folderOf(module.key()) != folder)
                continue;
            ++seen;
            for (const QString &included : module.value()) {
                const QString target = folderOf(included);
                QVERIFY2(target == folder || below.contains(target) || !OurFolders.contains(target.section(QLatin1Char('/'), 0, 0)),
                         qPrintable(module.key() + QStringLiteral(" includes ") + included));
            }
        }
        QVERIFY(seen > 0);
    }
};

QTEST_GUILESS_MAIN(LayoutTest)
#include "tst_layout.moc"
