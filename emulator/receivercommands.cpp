#include "receivercommands.h"

#include "enginebytes.h"

using namespace EngineBytes;

namespace {

// The store's name for a path: the path without its leading "/"; empty (no
// such file) for a path without one.
QByteArray nameOf(const QByteArray &path)
{
    return path.startsWith('/') ? path.mid(1) : QByteArray();
}

// The path of "D", "R" and "X", after its 4-byte count.
QByteArray pathOf(const QByteArray &payload)
{
    return payload.mid(4);
}

} // namespace

ReceiverCommands::ReceiverCommands(const EngineOptions &options)
    : m_store(options.capacity)
    , m_reportedTotal(options.capacity - qMin(options.capacity, options.spareBlocks * 4096))
    , m_corruptNames(options.corruptNames)
    , m_verbose(options.verbose)
{
}

ReceiverCommands::Outcome ReceiverCommands::carryOut(char letter, const QByteArray &payload)
{
    Outcome outcome;
    if (m_upload.open && letter != 'U' && letter != 'u') {
        note(outcome, QStringLiteral("upload of /%1 abandoned by %2")
                              .arg(printable(m_upload.name), QString(QLatin1Char(letter))));
        abandonUpload();
    }

    switch (letter) {
    case 'M':
        memoryReport(outcome);
        break;
    case 'L':
        listing(outcome);
        break;
    case 'D':
        download(pathOf(payload), outcome);
        break;
    case 'R':
        remove(pathOf(payload), outcome);
        break;
    case 'E':
        m_store.format();
        note(outcome, QStringLiteral("E: formatted"));
        outcome.answer = "E";
        break;
    case 'X':
        execute(pathOf(payload), outcome);
        break;
    case 'Q':
        note(outcome, QStringLiteral("Q: restarting"));
        abandonUpload();
        outcome.restart = true;
        break;
    case 'U':
        if (m_upload.open)
            uploadChunk(payload, outcome);
        else
            startUpload(payload, outcome);
        break;
    case 'u':
        endUpload(outcome);
        break;
    default:
        break;
    }
    return outcome;
}

void ReceiverCommands::memoryReport(Outcome &outcome) const
{
    const quint32 total = m_reportedTotal;
    const quint32 used = m_store.usedBytes();
    note(outcome, QStringLiteral("M: total %1, used %2").arg(total).arg(used));
    outcome.answer = be32(total) + be32(used);
}

void ReceiverCommands::listing(Outcome &outcome) const
{
    QByteArray entries;
    for (const DeviceStore::File &file : m_store.files())
        entries += be32(quint32(file.name.size())) + be32(quint32(file.content.size())) + file.name;
    note(outcome, QStringLiteral("L: %1 files").arg(m_store.files().size()));
    outcome.answer = be32(quint32(entries.size())) + entries;
}

void ReceiverCommands::download(const QByteArray &path, Outcome &outcome) const
{
    const DeviceStore::File *file = m_store.find(nameOf(path));
    note(outcome, QStringLiteral("D %1: %2").arg(printable(path), file ? QStringLiteral("%1 bytes").arg(file->content.size())
                                                                       : QStringLiteral("no such file")));
    outcome.answer = file ? be32(quint32(file->content.size())) + file->content : QByteArray("d");
}

void ReceiverCommands::remove(const QByteArray &path, Outcome &outcome)
{
    const bool removed = m_store.remove(nameOf(path));
    note(outcome, QStringLiteral("R %1: %2").arg(printable(path), removed ? QStringLiteral("removed")
                                                                          : QStringLiteral("not removed")));
    outcome.answer = removed ? "R" : "r";
}

void ReceiverCommands::execute(const QByteArray &path, Outcome &outcome)
{
    const bool opens = m_store.find(nameOf(path)) && canOpen(path);
    if (opens) {
        m_opened.append(path);
        // Always logged: this is what the receiver did with the file.
        outcome.log << QStringLiteral("opened %1 (%2)").arg(printable(path), QString::fromLatin1(fileType(path)));
    } else {
        note(outcome, QStringLiteral("X %1: not opened").arg(printable(path)));
    }
    outcome.answer = opens ? "X" : "x";
}

void ReceiverCommands::startUpload(const QByteArray &payload, Outcome &outcome)
{
    const quint32 size = readBe32(payload, 4);
    const QByteArray path = payload.mid(8);
    const QByteArray name = nameOf(path);
    const bool accepted = SpiffsLayout::isValidName(name) && m_store.fits(name, size);
    note(outcome, QStringLiteral("U %1, %2 bytes: %3")
                          .arg(printable(path), QString::number(size),
                               accepted ? QStringLiteral("started") : QStringLiteral("refused")));
    if (accepted) {
        m_upload.open = true;
        m_upload.name = name;
        m_upload.announced = size;
    }
    outcome.answer = accepted ? "A" : "a";
}

void ReceiverCommands::uploadChunk(const QByteArray &payload, Outcome &outcome)
{
    const int n = quint8(payload.at(0));
    if (n < 1 || n > MaxChunk || quint64(m_upload.content.size()) + quint64(n) > m_upload.announced) {
        note(outcome, QStringLiteral("U chunk of %1 bytes: given up").arg(n));
        abandonUpload();
        outcome.answer = "a";
        return;
    }
    m_upload.content += payload.mid(1);
    if (m_verbose)
        note(outcome, QStringLiteral("U chunk of %1 bytes: %2 of %3").arg(n).arg(m_upload.content.size()).arg(m_upload.announced));
    outcome.answer = "A";
    outcome.afterWrite = true;
}

void ReceiverCommands::endUpload(Outcome &outcome)
{
    const bool complete = m_upload.open && quint32(m_upload.content.size()) == m_upload.announced;
    if (complete)
        corruptIfNamed(m_upload.name, &m_upload.content, outcome);
    const bool stored = complete && m_store.store(m_upload.name, m_upload.content);
    note(outcome, QStringLiteral("u: %1").arg(stored ? QStringLiteral("stored /%1").arg(printable(m_upload.name))
                                                     : QStringLiteral("given up")));
    abandonUpload();
    outcome.answer = stored ? "u" : "a";
}

void ReceiverCommands::corruptIfNamed(const QByteArray &name, QByteArray *content, Outcome &outcome) const
{
    if (!m_corruptNames.contains(name) || content->isEmpty())
        return;
    const int at = content->size() / 2;
    (*content)[at] = char(~quint8(content->at(at)));
    // Always logged: the file on the receiver is not what was sent.
    outcome.log << QStringLiteral("corrupted /%1: byte %2 of %3 flipped")
                           .arg(printable(name), QString::number(at), QString::number(content->size()));
}

void ReceiverCommands::note(Outcome &outcome, const QString &line) const
{
    if (m_verbose)
        outcome.log << line;
}

QByteArray ReceiverCommands::fileType(const QByteArray &path)
{
    const int firstDot = path.indexOf('.');
    if (firstDot <= 0)
        return QByteArray();
    const int nextDot = path.indexOf('.', firstDot + 1);
    return path.mid(firstDot + 1, nextDot < 0 ? -1 : nextDot - firstDot - 1).toLower();
}

bool ReceiverCommands::canOpen(const QByteArray &path)
{
    static const QByteArrayList openable = {"txt", "wav", "mp3", "mid", "bmp", "jpg",
                                            "png", "html", "htm", "ini", "wifi"};
    return openable.contains(fileType(path));
}
