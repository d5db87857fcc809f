#include "cli/jobs/manifest.h"

#include <QtCore/QList>
#include <QtCore/QRegularExpression>
#include <QtCore/QSet>
#include <QtCore/QStringList>

namespace Manifest {

namespace {

const QByteArray Magic = "spiffs-backup";
const QByteArray NotRestorableMark = "!";
const QByteArray NotSaved = "-";
const QByteArray EmptyName = "\\x";
const QByteArray Version = "1";
constexpr int Sha256Bytes = 32;

bool plainByte(uchar byte)
{
    return byte > ' ' && byte < 0x7F && byte != '\\';
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool decimal(const QByteArray &text, qint64 limit, qint64 *value)
{
    if (text.isEmpty() || text.size() > 12 || (text.size() > 1 && text.startsWith('0')))
        return false;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    *value = text.toLongLong();
    return *value <= limit;
}

// A relative path that stays inside the folder on every system.
bool safePath(const QString &path)
{
    if (path.isEmpty() || path.contains(QLatin1Char('\\')) || path.contains(QLatin1Char(':')))
        return false;
    const QStringList parts = path.split(QLatin1Char('/'));
    for (const QString &part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return false;
    }
    return true;
}

} // namespace

QByteArray escaped(const QByteArray &bytes)
{
    static const char hex[] = "0123456789abcdef";
    QByteArray text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = uchar(c);
        if (plainByte(byte))
            text += c;
        else if (byte == '\\')
            text += "\\\\";
        else
            text.append("\\x").append(hex[byte >> 4]).append(hex[byte & 0xF]);
    }
    return text;
}

std::optional<QByteArray> unescaped(const QByteArray &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c != '\\') {
            if (!plainByte(uchar(c)))
                return std::nullopt;
            bytes += c;
        } else if (text.mid(i + 1, 1) == "\\") {
            bytes += '\\';
            ++i;
        } else if (text.mid(i + 1, 1) == "x" && i + 3 < text.size() && hexDigit(text.at(i + 2)) >= 0
                   && hexDigit(text.at(i + 3)) >= 0) {
            bytes += char(hexDigit(text.at(i + 2)) * 16 + hexDigit(text.at(i + 3)));
            i += 3;
        } else {
            return std::nullopt;
        }
    }
    return bytes;
}

QString keptName(const QDateTime &taken, int sequence)
{
    const QString name = QLatin1String(FileName) + QLatin1Char('.')
                         + taken.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH-mm-ss")) + QLatin1Char('Z');
    return sequence > 1 ? name + QLatin1Char('~') + QString::number(sequence) : name;
}

bool isKeptName(const QString &fileName)
{
    static const QRegularExpression kept(QStringLiteral("^MANIFEST\\.\\d{4}-\\d\\d-\\d\\dT\\d\\d-\\d\\d-\\d\\dZ(~[1-9]\\d*)?$"));
    return kept.match(fileName).hasMatch();
}

QByteArray write(const Contents &contents)
{
    QByteArray text = Magic + ' ' + Version + ' '
                      + contents.taken.toUTC().toString(Qt::ISODate).toLatin1() + ' '
                      + QByteArray::number(contents.totalBytes) + ' ' + QByteArray::number(contents.usedBytes) + '\n';
    for (const Entry &entry : contents.entries) {
        if (entry.restorable) {
            text += QByteArray::number(entry.size) + ' ' + entry.sha256.toHex() + ' ' + escaped(entry.name) + ' '
                    + escaped(entry.path.toUtf8()) + '\n';
            continue;
        }
        text += NotRestorableMark + ' ' + QByteArray::number(entry.size) + ' '
                + (entry.saved() ? entry.sha256.toHex() : NotSaved) + ' '
                + (entry.name.isEmpty() ? EmptyName : escaped(entry.name)) + ' '
                + (entry.saved() ? escaped(entry.path.toUtf8()) : NotSaved) + '\n';
    }
    return text;
}

namespace {

// The first line's date and figures into contents; why it cannot be read,
// or empty.
QString readHeader(const QByteArray &line, Contents &contents)
{
    const QList<QByteArray> header = line.split(' ');
    qint64 total = 0;
    qint64 used = 0;
    if (header.size() != 5 || header.at(0) != Magic)
        return QStringLiteral("not a spiffs-cli backup");
    if (header.at(1) != Version)
        return QStringLiteral("format %1, not %2").arg(QString::fromLatin1(header.at(1)), QString::fromLatin1(Version));
    contents.taken = QDateTime::fromString(QString::fromLatin1(header.at(2)), Qt::ISODate);
    if (!contents.taken.isValid() || !decimal(header.at(3), 0xFFFFFFFF, &total) || !decimal(header.at(4), 0xFFFFFFFF, &used))
        return QStringLiteral("the date, total or used bytes cannot be read");
    contents.totalBytes = quint32(total);
    contents.usedBytes = quint32(used);
    return QString();
}

// A file's line into entry; why it cannot be read, or empty.
QString readEntry(const QByteArray &line, Entry &entry)
{
    QList<QByteArray> fields = line.split(' ');
    entry.restorable = fields.constFirst() != NotRestorableMark;
    if (!entry.restorable)
        fields.removeFirst();
    if (fields.size() != 4)
        return QStringLiteral("not SIZE SHA256 NAME PATH");
    if (!decimal(fields.at(0), 0x7FFFFFFF, &entry.size))
        return QStringLiteral("the size cannot be read");
    const bool saved = entry.restorable || fields.at(1) != NotSaved;
    if (!saved && fields.at(3) != NotSaved)
        return QStringLiteral("a file not saved has a path");
    const QByteArray &hash = fields.at(1);
    if (saved) {
        entry.sha256 = QByteArray::fromHex(hash);
        if (hash.size() != 2 * Sha256Bytes || entry.sha256.toHex() != hash)
            return QStringLiteral("the SHA-256 is not 64 lower-case hex digits");
    }
    const std::optional<QByteArray> name = !entry.restorable && fields.at(2) == EmptyName ? QByteArray("") : unescaped(fields.at(2));
    const std::optional<QByteArray> path = saved ? unescaped(fields.at(3)) : QByteArray();
    if (!name || (name->isEmpty() && entry.restorable) || !path)
        return QStringLiteral("a bad escape in the name or path");
    entry.name = *name;
    if (!saved)
        return QString();
    entry.path = QString::fromUtf8(*path);
    if (entry.path.toUtf8() != *path || !safePath(entry.path))
        return QStringLiteral("the path leaves the folder or is not UTF-8");
    return QString();
}

} // namespace

Parsed parse(const QByteArray &text)
{
    Parsed parsed;
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    const auto fail = [&](int line, const QString &what) {
        parsed.error = QStringLiteral("line %1: %2").arg(line).arg(what);
        return parsed;
    };
    // A copy that went through an editor on Windows may end its lines so.
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    if (lines.isEmpty())
        return fail(1, QStringLiteral("empty"));
    Contents contents;
    if (const QString problem = readHeader(lines.constFirst(), contents); !problem.isEmpty())
        return fail(1, problem);

    QSet<QByteArray> names;
    QSet<QString> paths;
    for (int i = 1; i < lines.size(); ++i) {
        Entry entry;
        if (const QString problem = readEntry(lines.at(i), entry); !problem.isEmpty())
            return fail(i + 1, problem);
        if (entry.saved() && paths.contains(entry.path.toCaseFolded()))
            return fail(i + 1, QStringLiteral("the path is given twice"));
        if (names.contains(entry.name))
            return fail(i + 1, QStringLiteral("the name is given twice"));
        paths.insert(entry.path.toCaseFolded());
        names.insert(entry.name);
        contents.entries << entry;
    }
    parsed.contents = contents;
    return parsed;
}

} // namespace Manifest
