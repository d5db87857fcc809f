#include "core/remaindernote.h"

#include "core/catalogueformat.h"
#include "core/localsave.h"
#include "core/receiverline.h"

#include <QtCore/QDateTime>
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QStandardPaths>
#include <QtCore/QUrl>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace RemainderNote {

namespace {

// A note from the future is a clock set back, or a forgery: either way it
// would hold the line for as long as it says.
constexpr qint64 ClockSlackMs = 2000;
// Notes are a few hundred bytes; a larger file is not one.
constexpr qint64 MaxNoteBytes = 4096;

QString notePath(const QString &folder, const QString &portName)
{
    return QDir(folder).filePath(QStringLiteral("remainder-") + QString::fromLatin1(QUrl::toPercentEncoding(portKey(portName))));
}

#ifdef Q_OS_UNIX
// A folder of this user's (made with mode 0700 when missing), not a link;
// when closed, one only this user can reach.
bool privateFolder(const QString &path, bool closed)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::getuid() && (!closed || (info.st_mode & 077) == 0);
}

// The note's bytes, read only from a regular file that is no link: a pipe
// or a device there would hold the reader up, a link lead it elsewhere.
QByteArray readNote(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return QByteArray();
    QByteArray text;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= MaxNoteBytes) {
        text.resize(int(info.st_size));
        const ssize_t got = ::read(fd, text.data(), size_t(text.size()));
        text.resize(got > 0 ? int(got) : 0);
    }
    ::close(fd);
    return text;
}
#else
QByteArray readNote(const QString &path)
{
    QFile file(path);
    return QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly) ? file.read(MaxNoteBytes) : QByteArray();
}
#endif

} // namespace

QString folderFor(PortOpening::Desktop desktop, const QString &runtime, const QString &cache, const QString &localData)
{
    const QString name = QStringLiteral("/spiffs-manager");
    // The application's name differs between the two programs; the folder
    // must not. Never the shared temporary folder: anyone may make a name
    // there first.
    if (desktop == PortOpening::Desktop::Windows)
        return localData.isEmpty() ? QString() : localData + name;
    if (!runtime.isEmpty())
        return runtime + name;
    return cache.isEmpty() ? QString() : cache + name;
}

QString keyFor(const QString &portName, PortOpening::Desktop desktop, const std::function<QString(const QString &)> &resolve)
{
    if (desktop == PortOpening::Desktop::Windows) {
        const QString prefix = QStringLiteral("\\\\.\\");
        return (portName.startsWith(prefix) ? portName.mid(prefix.size()) : portName).toUpper();
    }
    const QString location = portName.startsWith(QLatin1Char('/')) ? portName : QStringLiteral("/dev/") + portName;
    const QString device = resolve(location);
    return device.isEmpty() ? location : device;
}

QString defaultFolder()
{
    const QString localData = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
#ifdef Q_OS_UNIX
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    const QString folder = folderFor(PortOpening::thisDesktop(), QFileInfo(runtime).isDir() ? runtime : QString(),
                                     !cache.isEmpty() && privateFolder(cache, false) ? cache : QString(), localData);
    return !folder.isEmpty() && privateFolder(folder, true) ? folder : QString();
#else
    const QString folder = folderFor(PortOpening::thisDesktop(), QString(), QString(), localData);
    return !folder.isEmpty() && QDir().mkpath(folder) ? folder : QString();
#endif
}

QString portKey(const QString &portName)
{
    return keyFor(portName, PortOpening::thisDesktop(),
                  [](const QString &location) { return QFileInfo(location).canonicalFilePath(); });
}

qint64 deviceStamp(const QString &portName)
{
    const QFileInfo device(ReceiverLine::systemLocation(portName));
    if (!device.exists())
        return -1;
    return device.metadataChangeTime().toMSecsSinceEpoch();
}

QByteArray encode(const QString &portName, qint64 stamp, const ReplyRemainder &remainder)
{
    const QJsonObject note{
            {QStringLiteral("port"), portKey(portName)},
            {QStringLiteral("device"), QString::number(stamp)},
            {QStringLiteral("exchange"), exchangeName(remainder.exchange)},
            {QStringLiteral("name"), QLatin1String(remainder.name.toBase64())},
            {QStringLiteral("bytesDue"), QString::number(remainder.bytesDue)},
            {QStringLiteral("cutAtMs"), QString::number(remainder.cutAtMs)},
    };
    return QJsonDocument(note).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<ReplyRemainder> decode(const QByteArray &text, const QString &portName, qint64 stamp)
{
    const QJsonObject note = QJsonDocument::fromJson(text).object();
    const auto number = [&note](const char *key, bool *ok) {
        return note.value(QLatin1String(key)).toString().toLongLong(ok);
    };
    bool stampOk = false;
    bool dueOk = false;
    bool cutOk = false;
    ReplyRemainder remainder;
    const qint64 notedStamp = number("device", &stampOk);
    remainder.bytesDue = number("bytesDue", &dueOk);
    remainder.cutAtMs = number("cutAtMs", &cutOk);
    const std::optional<Exchange> exchange = exchangeNamed(note.value(QStringLiteral("exchange")).toString());
    remainder.name = QByteArray::fromBase64(note.value(QStringLiteral("name")).toString().toLatin1());
    if (!stampOk || !dueOk || !cutOk || !exchange
        || note.value(QStringLiteral("port")).toString() != portKey(portName)
        || notedStamp != stamp)
        return std::nullopt;
    remainder.exchange = *exchange;
    if (remainder.bytesDue < ReplyRemainder::UnknownSize || remainder.bytesDue > CatalogueFormat::MaxFlashBytes
        || remainder.name.size() > CatalogueFormat::MaxListedNameBytes)
        return std::nullopt;
    return remainder;
}

QString leave(const QString &portName, const ReplyRemainder &remainder, const QString &folder)
{
    if (folder.isEmpty())
        return QStringLiteral("no folder of the user's own to keep it in");
    return LocalSave::replace(notePath(folder, portName), encode(portName, deviceStamp(portName), remainder));
}

std::optional<ReplyRemainder> take(const QString &portName, qint64 nowMs, const QString &folder)
{
    if (folder.isEmpty())
        return std::nullopt;
    const QString path = notePath(folder, portName);
    if (!QFileInfo(path).exists() && !QFileInfo(path).isSymLink())
        return std::nullopt;
    const QByteArray text = readNote(path);
    // Whatever lay there is gone once looked at, a note or not.
    QFile::remove(path);
    std::optional<ReplyRemainder> remainder = decode(text, portName, deviceStamp(portName));
    if (!remainder || remainder->cutAtMs > nowMs + ClockSlackMs || Remainder::isStale(*remainder, nowMs))
        return std::nullopt;
    return remainder;
}

} // namespace RemainderNote
