#include "core/transferformat.h"

#include "core/wireformat.h"

#include <QtCore/QStringList>

#include <algorithm>

namespace TransferFormat {

int downloadPercent(qint64 received, qint64 size)
{
    if (size <= 0 || received >= size)
        return 100;
    return int(received * 100 / size);
}

int uploadPercent(qint64 remainingBeforeChunk, qint64 size)
{
    if (size <= 0)
        return 100;
    return int(100 - remainingBeforeChunk * 100 / size);
}

namespace {

bool unsafeInFileName(QChar c)
{
    static const QString refusedByWindows = QStringLiteral("/\\<>:\"|?*");
    return c.unicode() < 0x20 || c.unicode() == 0x7F || refusedByWindows.contains(c);
}

bool isWindowsDeviceName(const QString &name)
{
    static const QStringList devices = {
        QStringLiteral("CON"),  QStringLiteral("PRN"),  QStringLiteral("AUX"),  QStringLiteral("NUL"),
        QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"), QStringLiteral("COM4"),
        QStringLiteral("COM5"), QStringLiteral("COM6"), QStringLiteral("COM7"), QStringLiteral("COM8"),
        QStringLiteral("COM9"), QStringLiteral("LPT1"), QStringLiteral("LPT2"), QStringLiteral("LPT3"),
        QStringLiteral("LPT4"), QStringLiteral("LPT5"), QStringLiteral("LPT6"), QStringLiteral("LPT7"),
        QStringLiteral("LPT8"), QStringLiteral("LPT9"),
    };
    const QString stem = name.section(QLatin1Char('.'), 0, 0).trimmed();
    return devices.contains(stem, Qt::CaseInsensitive);
}

// Cuts whole characters off the end of stem until stem + tail fits.
QString shortened(const QString &name)
{
    if (name.toUtf8().size() <= MaxLocalNameBytes)
        return name;
    const int lastDot = name.lastIndexOf(QLatin1Char('.'));
    const QString tail = lastDot > 0 && name.size() - lastDot <= 16 ? name.mid(lastDot) : QString();
    QString stem = name.left(name.size() - tail.size());
    const int budget = MaxLocalNameBytes - int(tail.toUtf8().size());
    while (stem.toUtf8().size() > budget) {
        stem.chop(1);
        if (!stem.isEmpty() && stem.at(stem.size() - 1).isHighSurrogate())
            stem.chop(1);
    }
    return stem + tail;
}

} // namespace

QString localFileName(const QString &deviceName)
{
    QString name = deviceName;
    for (QChar &c : name) {
        if (unsafeInFileName(c))
            c = QLatin1Char('-');
    }
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")
        || isWindowsDeviceName(name))
        name.prepend(QLatin1Char('-'));
    return shortened(name);
}

QString uploadName(const QString &localPath)
{
    const QString lastPart = localPath.section(QLatin1Char('/'), -1);
    const auto kept = [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '_'
               || (u >= '\'' && u <= '.'); // ' ( ) * + , - .
    };
    QString name;
    name.reserve(lastPart.size());
    for (QChar c : lastPart) {
        if (kept(c))
            name += c;
    }
    name.truncate(MaxUploadNameLength);
    return name;
}

bool uploadNameAcceptable(const QString &name)
{
    const int firstDot = name.indexOf(QLatin1Char('.'));
    if (firstDot < 0)
        return true;
    const bool typeMissing = firstDot + 1 == name.size() || name.at(firstDot + 1) == QLatin1Char('.');
    return firstDot > 0 && !typeMissing;
}

bool nameCharactersAccepted(const QString &name)
{
    const QStringList parts = name.split(QLatin1Char('/'));
    return std::all_of(parts.cbegin(), parts.cend(), [](const QString &part) { return uploadName(part) == part; });
}

bool devicePathFits(const QByteArray &name)
{
    return WireFormat::devicePath(name).size() <= MaxDevicePathBytes;
}

NameProblem storableNameProblem(const QString &name)
{
    if (!nameCharactersAccepted(name))
        return NameProblem::Characters;
    if (name.isEmpty() || !uploadNameAcceptable(name))
        return NameProblem::Shape;
    if (!devicePathFits(name.toLatin1()))
        return NameProblem::Length;
    return NameProblem::None;
}

bool fitsInFreeSpace(qint64 fileSize, const CatalogueFormat::MemoryFigures &figures)
{
    return qint64(CatalogueFormat::freeBytes(figures)) > fileSize;
}

QByteArray uploadStartPayload(const QByteArray &devicePath, quint32 fileSize)
{
    return WireFormat::bigEndian32(quint32(devicePath.size())) + WireFormat::bigEndian32(fileSize) + devicePath;
}

QByteArray uploadChunkPayload(const QByteArray &chunk)
{
    Q_ASSERT(!chunk.isEmpty() && chunk.size() <= MaxChunkBytes);
    return char(chunk.size()) + chunk;
}

QByteArray downloadRequest(const QByteArray &name)
{
    return WireFormat::fileRequest(WireFormat::Letter::Download, name);
}

namespace {
// Bytes reserved up front for the content; a larger file grows the buffer as
// it arrives, so a bogus size cannot claim memory the device never sends.
constexpr int ReserveLimit = 16 * 1024 * 1024;
} // namespace

namespace {

enum class Header { Incomplete, Taken, Refused, BadSize, Empty };

// The refusal "d", or the 4-byte size, taken from the front of received.
Header takeDownloadHeader(QByteArray &received, qint64 &transferSize, quint32 capacity)
{
    // "d" is the refusal; no size header can start with it, since no
    // receiver holds a file of 1.6 GB.
    if (received.startsWith('d'))
        return Header::Refused;
    if (received.size() < DownloadHeaderSize)
        return Header::Incomplete;
    const quint32 announced = WireFormat::readBigEndian32(received, 0);
    if (announced > MaxDownloadBytes || announced > CatalogueFormat::wholeAreaBytes(capacity))
        return Header::BadSize;
    received.remove(0, DownloadHeaderSize);
    transferSize = announced;
    return announced == 0 ? Header::Empty : Header::Taken;
}

// A reply that has ended: the buffer given back, the size forgotten.
DownloadStep ended(QByteArray &received, qint64 &transferSize, DownloadStep::Status status, QByteArray content = QByteArray())
{
    received = QByteArray();
    transferSize = 0;
    DownloadStep step;
    step.status = status;
    step.content = std::move(content);
    return step;
}

// Until the size is in: what the arrival says; nothing once content follows.
std::optional<DownloadStep> readHeader(QByteArray &received, qint64 &transferSize, quint32 capacity)
{
    switch (takeDownloadHeader(received, transferSize, capacity)) {
    case Header::Incomplete: {
        DownloadStep step;
        if (received.size() == 1)
            step.status = DownloadStep::Status::FirstByte;
        return step;
    }
    case Header::Refused:
        return ended(received, transferSize, DownloadStep::Status::Refused);
    case Header::BadSize:
        return ended(received, transferSize, DownloadStep::Status::BadSize);
    case Header::Empty: {
        const int surplus = int(received.size());
        DownloadStep step = ended(received, transferSize, DownloadStep::Status::Complete);
        step.surplus = surplus;
        return step;
    }
    case Header::Taken:
        break;
    }
    return std::nullopt;
}

} // namespace

DownloadStep readDownloadReply(QByteArray &received, qint64 &transferSize, quint32 capacity)
{
    if (transferSize == 0) {
        if (std::optional<DownloadStep> step = readHeader(received, transferSize, capacity))
            return *step;
        received.reserve(int(std::min<qint64>(transferSize, ReserveLimit)));
        // Content that came with the size counts now; the size alone shows
        // nothing yet.
        if (received.isEmpty())
            return DownloadStep();
    }

    if (received.size() < transferSize) {
        DownloadStep step;
        step.status = DownloadStep::Status::Receiving;
        step.percent = downloadPercent(received.size(), transferSize);
        return step;
    }
    const int surplus = int(received.size() - transferSize);
    received.truncate(int(transferSize)); // what follows the announced size is not the file's
    QByteArray content = std::move(received);
    DownloadStep step = ended(received, transferSize, DownloadStep::Status::Complete, std::move(content));
    step.percent = 100;
    step.surplus = surplus;
    return step;
}

DownloadStep readDownloadStream(QByteArray &received, qint64 &transferSize, qint64 &delivered, quint32 capacity)
{
    if (transferSize == 0) {
        delivered = 0;
        if (std::optional<DownloadStep> step = readHeader(received, transferSize, capacity))
            return *step;
    }

    // What follows the announced size is not the file's.
    QByteArray piece = received.left(int(std::min<qint64>(received.size(), transferSize - delivered)));
    const int surplus = int(received.size() - piece.size());
    received.clear();
    delivered += piece.size();
    const int percent = downloadPercent(delivered, transferSize);
    DownloadStep step = delivered < transferSize
                                ? DownloadStep{DownloadStep::Status::Receiving, 0, std::move(piece)}
                                : ended(received, transferSize, DownloadStep::Status::Complete, std::move(piece));
    step.percent = percent;
    step.surplus = surplus;
    return step;
}

qint64 uploadChunkCount(qint64 size)
{
    return (size + MaxChunkBytes - 1) / MaxChunkBytes;
}

QByteArray uploadStartRequest(const QByteArray &devicePath, quint32 fileSize)
{
    return WireFormat::commandFrame(WireFormat::Letter::Upload, uploadStartPayload(devicePath, fileSize));
}

QByteArray nextUploadFrame(const QByteArray &content, qint64 &offset)
{
    const qint64 remaining = content.size() - offset;
    if (remaining <= 0)
        return WireFormat::commandFrame(WireFormat::Letter::UploadEnd);
    const int count = int(std::min<qint64>(remaining, MaxChunkBytes));
    const QByteArray chunk = QByteArray::fromRawData(content.constData() + offset, count);
    offset += count;
    return WireFormat::commandFrame(WireFormat::Letter::Upload, uploadChunkPayload(chunk));
}

UploadAnswer takeUploadAnswer(QByteArray &received)
{
    const std::optional<char> answer = WireFormat::takeAnswerByte(received);
    if (!answer)
        return UploadAnswer::None;
    switch (*answer) {
    case 'A':
        return UploadAnswer::Ready;
    case 'u':
        return UploadAnswer::Finished;
    case 'a':
        return UploadAnswer::Stopped;
    default:
        return UploadAnswer::Unknown;
    }
}

UploadTurn takeUploadTurn(QByteArray &received, bool endSent)
{
    switch (takeUploadAnswer(received)) {
    case UploadAnswer::Ready:
        return endSent ? UploadTurn::ReadyAfterEnd : UploadTurn::SendNext;
    case UploadAnswer::Finished:
        return endSent ? UploadTurn::Stored : UploadTurn::EndedEarly;
    case UploadAnswer::Stopped:
        return UploadTurn::Stopped;
    case UploadAnswer::None:
    case UploadAnswer::Unknown:
        break;
    }
    return UploadTurn::Waiting;
}

} // namespace TransferFormat
