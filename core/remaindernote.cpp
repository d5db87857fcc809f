#include "core/remaindernote.h"

#include "core/catalogueformat.h"
#include "core/receiverline.h"

#include <QtCore/QDateTime>
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QSaveFile>
#include <QtCore/QStandardPaths>
#include <QtCore/QUrl>

#include <cerrno>

#ifdef Q_OS_UNIX
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

// "ttyUSB0", "/dev/ttyUSB0" and what QSerialPort::portName() makes of
// either are one port.
QString notePath(const QString &folder, const QString &portName)
{
    return QDir(folder).filePath(QStringLiteral("remainder-")
                                 + QString::fromLatin1(QUrl::toPercentEncoding(ReceiverLine::systemLocation(portName))));
}

#ifdef Q_OS_UNIX
// A folder only this user can reach: made with mode 0700, or found so.
bool privateFolder(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}
#endif

} // namespace

QString defaultFolder()
{
#ifdef Q_OS_UNIX
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString folder = !runtime.isEmpty() && QFileInfo(runtime).isDir()
                                   ? runtime + QStringLiteral("/spiffs-manager")
                                   : QDir::tempPath() + QStringLiteral("/spiffs-manager-%1").arg(::getuid());
    return privateFolder(folder) ? folder : QString();
#else
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    return !folder.isEmpty() && QDir().mkpath(folder) ? folder : QString();
#endif
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
            {QStringLiteral("port"), ReceiverLine::systemLocation(portName)},
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
        || note.value(QStringLiteral("port")).toString() != ReceiverLine::systemLocation(portName)
        || notedStamp != stamp)
        return std::nullopt;
    remainder.exchange = *exchange;
    if (remainder.bytesDue < ReplyRemainder::UnknownSize || remainder.bytesDue > CatalogueFormat::MaxFlashBytes
        || remainder.name.size() > CatalogueFormat::MaxListedNameBytes)
        return std::nullopt;
    return remainder;
}

bool leave(const QString &portName, const ReplyRemainder &remainder, const QString &folder)
{
    if (folder.isEmpty())
        return false;
    QSaveFile file(notePath(folder, portName));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(encode(portName, deviceStamp(portName), remainder));
    return file.commit();
}

std::optional<ReplyRemainder> take(const QString &portName, qint64 nowMs, const QString &folder)
{
    if (folder.isEmpty())
        return std::nullopt;
    QFile file(notePath(folder, portName));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray text = file.read(MaxNoteBytes);
    file.remove();
    std::optional<ReplyRemainder> remainder = decode(text, portName, deviceStamp(portName));
    if (!remainder || remainder->cutAtMs > nowMs + ClockSlackMs || Remainder::isStale(*remainder, nowMs))
        return std::nullopt;
    return remainder;
}

} // namespace RemainderNote
