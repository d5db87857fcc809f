// The receiver's commands: what each frame does to the store and what it
// answers, and what the receiver knows of itself (its boot text, the types
// it opens).
#include "deviceengine.h"

#include "enginebytes.h"

using namespace EngineBytes;

namespace {

// The store's name for a path: the path without its leading "/"; empty (no
// such file) for a path without one.
QByteArray nameOf(const QByteArray &path)
{
    return path.startsWith('/') ? path.mid(1) : QByteArray();
}

} // namespace

void DeviceEngine::handle(char letter, const QByteArray &payload, qint64 doneUs)
{
    ++m_framesHandled;
    if (m_upload.open && letter != 'U' && letter != 'u') {
        log(QStringLiteral("upload of /%1 abandoned by %2").arg(printable(m_upload.name), QString(QLatin1Char(letter))));
        m_upload = Upload();
    }

    switch (letter) {
    case 'M': {
        const quint32 total = m_store.capacity();
        const quint32 used = m_store.usedBytes();
        log(QStringLiteral("M: total %1, used %2").arg(total).arg(used));
        reply(letter, be32(total) + be32(used), doneUs);
        break;
    }
    case 'L': {
        QByteArray entries;
        for (const DeviceStore::File &file : m_store.files())
            entries += be32(quint32(file.name.size())) + be32(quint32(file.content.size())) + file.name;
        log(QStringLiteral("L: %1 files").arg(m_store.files().size()));
        reply(letter, be32(quint32(entries.size())) + entries, doneUs);
        break;
    }
    case 'D': {
        const QByteArray path = payload.mid(4);
        const DeviceStore::File *file = m_store.find(nameOf(path));
        log(QStringLiteral("D %1: %2").arg(printable(path),
                                           file ? QStringLiteral("%1 bytes").arg(file->content.size())
                                                : QStringLiteral("no such file")));
        reply(letter, file ? be32(quint32(file->content.size())) + file->content : QByteArray("d"), doneUs);
        break;
    }
    case 'R': {
        const QByteArray path = payload.mid(4);
        const bool removed = m_store.remove(nameOf(path));
        log(QStringLiteral("R %1: %2").arg(printable(path), removed ? QStringLiteral("removed")
                                                                    : QStringLiteral("not removed")));
        reply(letter, removed ? "R" : "r", doneUs);
        break;
    }
    case 'E':
        m_store.format();
        log(QStringLiteral("E: formatted"));
        reply(letter, "E", doneUs);
        break;
    case 'X': {
        const QByteArray path = payload.mid(4);
        const bool opens = m_store.find(nameOf(path)) && canOpen(path);
        if (opens) {
            m_opened.append(path);
            // Always logged: this is what the receiver did with the file.
            logAlways(QStringLiteral("opened %1 (%2)").arg(printable(path), QString::fromLatin1(fileType(path))));
        } else {
            log(QStringLiteral("X %1: not opened").arg(printable(path)));
        }
        reply(letter, opens ? "X" : "x", doneUs);
        break;
    }
    case 'Q':
        log(QStringLiteral("Q: restarting"));
        reboot(doneUs, !m_options.silentLetters.contains('Q'));
        break;
    case 'U':
        if (m_upload.open) {
            handleUploadChunk(payload, doneUs);
        } else {
            const quint32 size = readBe32(payload, 4);
            const QByteArray path = payload.mid(8);
            const QByteArray name = nameOf(path);
            const bool accepted = DeviceStore::isValidName(name) && m_store.fits(name, size);
            log(QStringLiteral("U %1, %2 bytes: %3")
                        .arg(printable(path))
                        .arg(size)
                        .arg(accepted ? QStringLiteral("started") : QStringLiteral("refused")));
            if (accepted) {
                m_upload.open = true;
                m_upload.name = name;
                m_upload.announced = size;
            }
            reply(letter, accepted ? "A" : "a", doneUs);
        }
        break;
    case 'u': {
        const bool complete = m_upload.open && quint32(m_upload.content.size()) == m_upload.announced;
        if (complete)
            corruptIfNamed(m_upload.name, &m_upload.content);
        const bool stored = complete && m_store.store(m_upload.name, m_upload.content);
        log(QStringLiteral("u: %1").arg(stored ? QStringLiteral("stored /%1").arg(printable(m_upload.name))
                                               : QStringLiteral("given up")));
        m_upload = Upload();
        reply(letter, stored ? "u" : "a", doneUs);
        break;
    }
    default:
        break;
    }
}

void DeviceEngine::handleUploadChunk(const QByteArray &payload, qint64 doneUs)
{
    const int n = quint8(payload.at(0));
    const QByteArray data = payload.mid(1);
    if (n < 1 || n > MaxChunk || quint64(m_upload.content.size()) + quint64(n) > m_upload.announced) {
        log(QStringLiteral("U chunk of %1 bytes: given up").arg(n));
        m_upload = Upload();
        reply('U', "a", doneUs);
        return;
    }
    m_upload.content += data;
    if (m_options.verbose)
        log(QStringLiteral("U chunk of %1 bytes: %2 of %3").arg(n).arg(m_upload.content.size()).arg(m_upload.announced));
    reply('U', "A", doneUs + m_options.writeDelayUs);
}

void DeviceEngine::corruptIfNamed(const QByteArray &name, QByteArray *content)
{
    if (!m_options.corruptNames.contains(name) || content->isEmpty())
        return;
    const int at = content->size() / 2;
    (*content)[at] = char(~quint8(content->at(at)));
    // Always logged: the file on the receiver is not what was sent.
    logAlways(QStringLiteral("corrupted /%1: byte %2 of %3 flipped").arg(printable(name)).arg(at).arg(content->size()));
}

void DeviceEngine::reboot(qint64 doneUs, bool banner)
{
    m_out.clear();
    m_upload = Upload();
    skip(m_rx.size());
    m_txWireFreeUs = doneUs;
    m_bootEndUs = doneUs + bootDurationUs();
    if (!banner)
        return;
    for (const BannerPiece &piece : bootBanner())
        schedule(piece.text, doneUs + piece.offsetUs, 0, 0);
}

// ---- the receiver's own knowledge -----------------------------------------

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

QByteArray DeviceEngine::fileType(const QByteArray &path)
{
    const int firstDot = path.indexOf('.');
    if (firstDot <= 0)
        return QByteArray();
    const int nextDot = path.indexOf('.', firstDot + 1);
    return path.mid(firstDot + 1, nextDot < 0 ? -1 : nextDot - firstDot - 1).toLower();
}

bool DeviceEngine::canOpen(const QByteArray &path)
{
    static const QByteArrayList openable = {"txt", "wav", "mp3", "mid", "bmp", "jpg",
                                            "png", "html", "htm", "ini", "wifi"};
    return openable.contains(fileType(path));
}
