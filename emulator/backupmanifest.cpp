#include "backupmanifest.h"

#include <QtCore/QDateTime>
#include <QtCore/QSet>
#include <QtCore/QStringList>

namespace {

const QByteArray Magic = "spiffs-backup";
const QByteArray Format = "1";
const QByteArray LeftOutMark = "!";
const QByteArray NeverSaved = "-";
const QByteArray EmptyName = "\\x";
constexpr int HashBytes = 32;

bool standsForItself(uchar byte)
{
    return byte > ' ' && byte < 0x7F && byte != '\\';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// A decimal with no sign and no leading zero, at most limit.
bool readCount(const QByteArray &text, qint64 limit, qint64 *value)
{
    if (text.isEmpty() || text.size() > 12 || (text.size() > 1 && text.at(0) == '0'))
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    *value = text.toLongLong();
    return *value <= limit;
}

// Relative, inside the folder on any system: no "..", "." or empty part,
// no drive or backslash.
bool staysInside(const QString &path)
{
    if (path.isEmpty() || path.contains(QLatin1Char('\\')) || path.contains(QLatin1Char(':')))
        return false;
    for (const QString &part : path.split(QLatin1Char('/'))) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return false;
    }
    return true;
}

bool fail(QString *error, int line, const QString &what)
{
    *error = QStringLiteral("line %1: %2").arg(line).arg(what);
    return false;
}

// One line after the header, file->text, into its fields.
bool readFileLine(BackupManifest::File *file, QString *error)
{
    const int line = file->line;
    QByteArrayList fields = file->text.split(' ');
    const bool leftOut = fields.constFirst() == LeftOutMark;
    if (leftOut)
        fields.removeFirst();
    if (fields.size() != 4)
        return fail(error, line, QStringLiteral("not SIZE SHA256 NAME PATH"));
    file->restorable = !leftOut;
    if (!readCount(fields.at(0), 0x7FFFFFFF, &file->size))
        return fail(error, line, QStringLiteral("the size cannot be read"));
    const bool saved = !leftOut || fields.at(1) != NeverSaved;
    if (saved) {
        file->sha256 = QByteArray::fromHex(fields.at(1));
        if (fields.at(1).size() != 2 * HashBytes || file->sha256.toHex() != fields.at(1))
            return fail(error, line, QStringLiteral("the SHA-256 is not 64 lower-case hex digits"));
    } else if (fields.at(3) != NeverSaved) {
        return fail(error, line, QStringLiteral("a file never saved has a path"));
    }
    QByteArray path;
    const bool emptyName = leftOut && fields.at(2) == EmptyName;
    if ((!emptyName && (!BackupManifest::unescape(fields.at(2), &file->name) || file->name.isEmpty()))
        || (saved && !BackupManifest::unescape(fields.at(3), &path)))
        return fail(error, line, QStringLiteral("a bad escape in the name or path"));
    file->path = QString::fromUtf8(path);
    if (saved && (file->path.toUtf8() != path || !staysInside(file->path)))
        return fail(error, line, QStringLiteral("the path leaves the folder or is not UTF-8"));
    return true;
}

} // namespace

bool BackupManifest::looksLikeOne(const QByteArray &text)
{
    return text.startsWith(Magic + ' ');
}

QByteArray BackupManifest::escaped(const QByteArray &bytes)
{
    static const char hex[] = "0123456789abcdef";
    QByteArray text;
    for (char c : bytes) {
        const auto byte = uchar(c);
        if (standsForItself(byte))
            text += c;
        else if (byte == '\\')
            text += "\\\\";
        else
            text.append("\\x").append(hex[byte >> 4]).append(hex[byte & 0xF]);
    }
    return text;
}

bool BackupManifest::unescape(const QByteArray &text, QByteArray *bytes)
{
    bytes->clear();
    for (int i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c != '\\') {
            if (!standsForItself(uchar(c)))
                return false;
            bytes->append(c);
        } else if (i + 1 < text.size() && text.at(i + 1) == '\\') {
            bytes->append('\\');
            ++i;
        } else if (i + 3 < text.size() && text.at(i + 1) == 'x' && hexValue(text.at(i + 2)) >= 0
                   && hexValue(text.at(i + 3)) >= 0) {
            bytes->append(char(hexValue(text.at(i + 2)) * 16 + hexValue(text.at(i + 3))));
            i += 3;
        } else {
            return false;
        }
    }
    return true;
}

bool BackupManifest::parse(const QByteArray &text, BackupManifest *manifest, QString *error)
{
    *manifest = BackupManifest();
    QByteArrayList lines = text.split('\n');
    if (lines.constLast().isEmpty())
        lines.removeLast();
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    const QByteArrayList header = lines.value(0).split(' ');
    qint64 number = 0;
    if (header.size() != 5 || header.at(0) != Magic)
        return fail(error, 1, QStringLiteral("not a backup's MANIFEST"));
    if (header.at(1) != Format)
        return fail(error, 1, QStringLiteral("format %1; this emulator reads format %2")
                                      .arg(QString::fromLatin1(header.at(1)), QString::fromLatin1(Format)));
    if (!QDateTime::fromString(QString::fromLatin1(header.at(2)), Qt::ISODate).isValid()
        || !readCount(header.at(3), 0xFFFFFFFF, &number) || !readCount(header.at(4), 0xFFFFFFFF, &number))
        return fail(error, 1, QStringLiteral("the date, total or used bytes cannot be read"));

    QSet<QByteArray> names;
    QSet<QString> paths;
    for (int index = 1; index < lines.size(); ++index) {
        File file;
        file.line = index + 1;
        file.text = lines.at(index);
        if (!readFileLine(&file, error))
            return false;
        const bool saved = !file.path.isEmpty();
        if (names.contains(file.name))
            return fail(error, file.line, QStringLiteral("the name is given twice"));
        if (saved && paths.contains(file.path.toCaseFolded()))
            return fail(error, file.line, QStringLiteral("the path is given twice"));
        names.insert(file.name);
        if (saved)
            paths.insert(file.path.toCaseFolded());
        manifest->files.append(file);
    }
    return true;
}

QByteArray BackupManifest::text(const QVector<File> &served, const QVector<File> &kept, quint32 totalBytes,
                                quint32 usedBytes)
{
    QByteArray text = Magic + ' ' + Format + ' '
            + QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toLatin1() + ' '
            + QByteArray::number(totalBytes) + ' ' + QByteArray::number(usedBytes) + '\n';
    for (const File &file : served) {
        text += QByteArray::number(file.size) + ' ' + file.sha256.toHex() + ' ' + escaped(file.name) + ' '
                + escaped(file.path.toUtf8()) + '\n';
    }
    for (const File &file : kept)
        text += file.text + '\n';
    return text;
}
