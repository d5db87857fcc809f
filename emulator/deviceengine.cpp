#include "deviceengine.h"

#include "enginebytes.h"

#include <algorithm>

using namespace EngineBytes;

namespace {

constexpr qint64 TenMillion = 10000000; // bit times: 10 bits a byte, in microseconds

} // namespace

DeviceEngine::DeviceEngine(const EngineOptions &options)
    : m_options(options)
    , m_commands(options)
{
    if (!m_options.folder.isEmpty())
        m_commands.store().attachFolder(m_options.folder, &m_error);
}

// ---- time on the wire ------------------------------------------------------

qint64 DeviceEngine::wireUs(qint64 byteCount) const
{
    if (m_options.baud <= 0 || byteCount <= 0)
        return 0;
    return (byteCount * TenMillion + m_options.baud - 1) / m_options.baud;
}

qint64 DeviceEngine::lastActivityUs() const
{
    return std::max({m_rxWireFreeUs, m_txWireFreeUs, m_bootEndUs, m_lastGarbageUs});
}

bool DeviceEngine::idleForGarbage() const
{
    return m_options.garbage && !m_lineClosed && m_out.isEmpty() && m_rx.isEmpty() && !m_commands.uploadOpen();
}

// ---- input -----------------------------------------------------------------

void DeviceEngine::receive(const QByteArray &bytes, qint64 nowUs)
{
    if (m_lineClosed || bytes.isEmpty())
        return;
    const qint64 startUs = std::max(nowUs, m_rxWireFreeUs);

    // The firmware's read gives up on a frame that stops coming.
    if (!m_rx.isEmpty() && startUs - m_rxWireFreeUs > m_options.frameTimeoutUs) {
        log(QStringLiteral("frame timed out: %1 bytes dropped").arg(m_rx.size()));
        skip(m_rx.size());
    }

    // While the receiver boots, nothing listens to the line.
    int lost = 0;
    while (lost < bytes.size() && startUs + wireUs(lost + 1) < m_bootEndUs)
        ++lost;
    m_bytesSkipped += lost;
    m_rxWireFreeUs = startUs + wireUs(bytes.size());
    if (lost == bytes.size())
        return;

    m_rx.append(bytes.constData() + lost, bytes.size() - lost);
    parseBuffer(startUs + wireUs(lost), bytes.size() - lost);
}

void DeviceEngine::skip(int count)
{
    m_rx.remove(0, count);
    m_bytesSkipped += count;
}

void DeviceEngine::parseBuffer(qint64 chunkStartUs, int chunkSize)
{
    // Where the newest bytes begin in m_rx; a frame ends at the arrival of
    // its last byte, which is always one of them.
    int chunkOffset = m_rx.size() - chunkSize;
    for (;;) {
        const int at = m_rx.indexOf(Preamble);
        if (at < 0) {
            // Keep the longest tail that may be the start of a preamble.
            int keep = std::min(int(m_rx.size()), PreambleSize - 1);
            while (keep > 0 && !m_rx.endsWith(QByteArray::fromRawData(Preamble, keep)))
                --keep;
            skip(m_rx.size() - keep);
            return;
        }
        skip(at);
        chunkOffset -= at;

        int frameSize = 0;
        const Parse parse = parseFrame(&frameSize);
        if (parse == Parse::NeedMore)
            return;
        if (parse == Parse::Broken) {
            log(QStringLiteral("broken frame, letter %1").arg(printable(m_rx.mid(PreambleSize, 1))));
            skip(1);
            chunkOffset -= 1;
            continue;
        }

        const qint64 doneUs = chunkStartUs + wireUs(std::max(frameSize - chunkOffset, 0));
        const char letter = m_rx.at(PreambleSize);
        const QByteArray payload = m_rx.mid(PreambleSize + 1, frameSize - PreambleSize - 1);
        m_rx.remove(0, frameSize);
        chunkOffset -= frameSize;
        handle(letter, payload, doneUs);
        if (letter == 'Q') {
            // The rest of these bytes reached a receiver that was resetting.
            skip(m_rx.size());
            return;
        }
    }
}

DeviceEngine::Parse DeviceEngine::parseFrame(int *frameSize) const
{
    constexpr int Head = PreambleSize + 1;
    if (m_rx.size() < Head)
        return Parse::NeedMore;
    int size = Head;
    switch (m_rx.at(PreambleSize)) {
    case 'M':
    case 'L':
    case 'E':
    case 'Q':
    case 'u':
        break;
    case 'D':
    case 'R':
    case 'X': {
        if (m_rx.size() < Head + 4)
            return Parse::NeedMore;
        const quint32 length = readBe32(m_rx, Head);
        if (length > MaxPathField)
            return Parse::Broken;
        size = Head + 4 + int(length);
        break;
    }
    case 'U':
        if (m_commands.uploadOpen()) {
            if (m_rx.size() < Head + 1)
                return Parse::NeedMore;
            const int n = quint8(m_rx.at(Head));
            // A count out of range is answered "a"; its data is not taken.
            size = Head + 1 + (n >= 1 && n <= MaxChunk ? n : 0);
        } else {
            if (m_rx.size() < Head + 8)
                return Parse::NeedMore;
            const quint32 length = readBe32(m_rx, Head);
            if (length > MaxPathField)
                return Parse::Broken;
            size = Head + 8 + int(length);
        }
        break;
    default:
        return Parse::Broken;
    }
    if (m_rx.size() < size)
        return Parse::NeedMore;
    *frameSize = size;
    return Parse::Handled;
}

void DeviceEngine::lineOpened(qint64 nowUs)
{
    if (!m_options.bootOnOpen || m_lineClosed)
        return;
    log(QStringLiteral("line opened: restarting"));
    reboot(nowUs, true);
}

// ---- carrying out a frame -------------------------------------------------

void DeviceEngine::handle(char letter, const QByteArray &payload, qint64 doneUs)
{
    ++m_framesHandled;
    const ReceiverCommands::Outcome outcome = m_commands.carryOut(letter, payload);
    for (const QString &line : outcome.log)
        logAlways(line);
    if (outcome.restart) {
        reboot(doneUs, !m_options.silentLetters.contains(letter));
        return;
    }
    if (outcome.answer.isEmpty())
        return;
    qint64 delayUs = outcome.afterWrite ? m_options.writeDelayUs : 0;
    if (letter == 'D')
        delayUs += qint64(m_options.openDelayMs) * 1000;
    reply(letter, outcome.answer, doneUs + delayUs);
}

void DeviceEngine::reboot(qint64 doneUs, bool banner)
{
    m_out.clear();
    m_commands.abandonUpload();
    skip(m_rx.size());
    m_txWireFreeUs = doneUs;
    m_bootEndUs = doneUs + bootDurationUs();
    if (!banner)
        return;
    for (const BannerPiece &piece : bootBanner())
        schedule(piece.text, doneUs + piece.offsetUs, 0, 0);
}

QVector<DeviceEngine::BannerPiece> DeviceEngine::bootBanner()
{
    // The ROM boot loader, then the second stage: what an ESP32 prints on a
    // software reset, in the bursts it prints it in.
    return {
            {20000, "ets Jun  8 2016 00:22:57\r\n\r\n"},
            {22000, "rst:0xc (SW_CPU_RESET),boot:0x13 (SPI_FAST_FLASH_BOOT)\r\n"},
            {60000,
             "configsip: 0, SPIWP:0xee\r\n"
             "clk_drv:0x00,q_drv:0x00,d_drv:0x00,cs0_drv:0x00,hd_drv:0x00,wp_drv:0x00\r\n"
             "mode:DIO, clock div:1\r\n"},
            {110000, "load:0x3fff0030,len:1184\r\nload:0x40078000,len:13104\r\n"},
            {190000, "load:0x40080400,len:3036\r\nentry 0x400805e4\r\n"},
            {320000, "SPIFFS mounted\r\n"},
    };
}

qint64 DeviceEngine::bootDurationUs()
{
    return bootBanner().constLast().offsetUs;
}

// ---- answers -----------------------------------------------------------------

void DeviceEngine::reply(char letter, const QByteArray &bytes, qint64 readyUs)
{
    if (m_options.silentLetters.contains(letter)) {
        log(QStringLiteral("%1: answer withheld").arg(QLatin1Char(letter)));
        return;
    }
    schedule(bytes, readyUs, m_options.splitBytes, qint64(m_options.gapMs) * 1000);
}

void DeviceEngine::schedule(const QByteArray &bytes, qint64 readyUs, int pieceSize, qint64 gapUs)
{
    if (bytes.isEmpty())
        return;
    Segment segment;
    segment.bytes = bytes;
    segment.startUs = std::max(readyUs, m_txWireFreeUs);
    segment.pieceSize = pieceSize > 0 ? pieceSize : bytes.size();
    segment.gapUs = gapUs;
    const qint64 pieces = (bytes.size() + segment.pieceSize - 1) / segment.pieceSize;
    m_txWireFreeUs = segment.startUs + wireUs(bytes.size()) + (pieces - 1) * gapUs;
    m_out.append(segment);
}

void DeviceEngine::log(const QString &line)
{
    if (m_options.verbose)
        logAlways(line);
}

// ---- output ----------------------------------------------------------------

QByteArray DeviceEngine::takeDueOutput(qint64 nowUs)
{
    const bool hangUpSet = m_hangUpArmed && m_options.hangUpAfter >= 0;
    if (hangUpSet && m_bytesSent >= m_options.hangUpAfter)
        m_lineClosed = true;
    if (m_lineClosed)
        return QByteArray();

    if (idleForGarbage() && nowUs >= lastActivityUs() + m_options.garbageIntervalUs) {
        QByteArray noise(1 + int(m_noise.bounded(24)), Qt::Uninitialized);
        for (char &byte : noise)
            byte = char(m_noise.bounded(256));
        m_lastGarbageUs = nowUs;
        schedule(noise, nowUs, 0, 0);
    }

    while (!m_out.isEmpty() && m_out.front().taken >= m_out.front().bytes.size())
        m_out.removeFirst();
    if (m_out.isEmpty())
        return QByteArray();

    Segment &segment = m_out.front();
    const int piece = segment.taken / segment.pieceSize;
    const int pieceEnd = std::min(int(segment.bytes.size()), (piece + 1) * segment.pieceSize);
    const qint64 sinceStart = nowUs - segment.startUs - piece * segment.gapUs;
    if (sinceStart < 0)
        return QByteArray();
    qint64 dueEnd = pieceEnd;
    if (m_options.baud > 0) {
        const qint64 t = std::min<qint64>(sinceStart, 1000000000000000LL);
        dueEnd = std::min<qint64>(pieceEnd, t / TenMillion * m_options.baud + t % TenMillion * m_options.baud / TenMillion);
    }
    qint64 count = dueEnd - segment.taken;
    if (hangUpSet)
        count = std::min(count, m_options.hangUpAfter - m_bytesSent);
    if (count <= 0)
        return QByteArray();

    const QByteArray out = segment.bytes.mid(segment.taken, int(count));
    segment.taken += int(count);
    m_bytesSent += count;
    if (segment.taken >= segment.bytes.size())
        m_out.removeFirst();
    if (hangUpSet && m_bytesSent >= m_options.hangUpAfter) {
        m_lineClosed = true;
        m_out.clear();
        log(QStringLiteral("line closed after %1 bytes").arg(m_bytesSent));
    }
    return out;
}

const DeviceEngine::Segment *DeviceEngine::pendingSegment() const
{
    for (const Segment &segment : m_out) {
        if (segment.taken < segment.bytes.size())
            return &segment;
    }
    return nullptr;
}

qint64 DeviceEngine::nextDueUs() const
{
    if (m_lineClosed)
        return NothingDue;
    if (const Segment *segment = pendingSegment()) {
        const int piece = segment->taken / segment->pieceSize;
        const qint64 pieceStartUs = segment->startUs + piece * segment->gapUs;
        return pieceStartUs + wireUs(segment->taken + 1);
    }
    if (m_options.hangUpAfter >= 0 && m_hangUpArmed && m_bytesSent >= m_options.hangUpAfter)
        return 0; // due now: the line is to be closed
    if (idleForGarbage())
        return lastActivityUs() + m_options.garbageIntervalUs;
    return NothingDue;
}

qint64 DeviceEngine::pieceEndUs() const
{
    if (m_lineClosed)
        return NothingDue;
    if (const Segment *segment = pendingSegment()) {
        const int piece = segment->taken / segment->pieceSize;
        const int pieceEnd = std::min(int(segment->bytes.size()), (piece + 1) * segment->pieceSize);
        return segment->startUs + piece * segment->gapUs + wireUs(pieceEnd);
    }
    return nextDueUs();
}

void DeviceEngine::reconnect()
{
    m_rx.clear();
    m_out.clear();
    m_commands.abandonUpload();
    m_lineClosed = false;
    m_hangUpArmed = false;
}
