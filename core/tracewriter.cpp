#include "core/tracewriter.h"

#include "core/localsave.h"

#include <QtCore/QDateTime>
#include <QtCore/QFileDevice>
#include <QtCore/QVariant>

namespace {

constexpr int HexColumns = TraceWriter::BytesPerLine * 3 - 1;

// Where a port keeps the writer following it: on the port itself, so the
// line's write and read functions need nothing but the port.
constexpr char FollowerProperty[] = "spiffs_traceWriter";

QByteArray hexAndText(const QByteArray &bytes, int from, int count)
{
    QByteArray hex;
    QByteArray text;
    hex.reserve(HexColumns);
    text.reserve(count);
    for (int i = from; i < from + count; ++i) {
        const auto byte = quint8(bytes.at(i));
        if (!hex.isEmpty())
            hex += ' ';
        hex += QByteArray::number(byte, 16).rightJustified(2, '0');
        text += byte >= 0x20 && byte < 0x7F ? char(byte) : '.';
    }
    return hex.leftJustified(HexColumns, ' ') + "  |" + text + '|';
}

} // namespace

TraceWriter::TraceWriter(QIODevice *output, QObject *parent) : QObject(parent), m_output(output)
{
    m_clock.start();
}

TraceWriter::~TraceWriter()
{
    follow(nullptr);
}

void TraceWriter::writeHeader()
{
    put("# spiffs-cli trace " + QByteArray::number(FormatVersion) + '\n');
}

void TraceWriter::writeComment(const QString &text)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &line : lines)
        put("# " + line.toUtf8() + '\n');
}

void TraceWriter::writeProgramComments(const QString &program, const QString &version, const QStringList &arguments)
{
    writeComment(QStringLiteral("%1 %2, %3").arg(program, version, QDateTime::currentDateTime().toString(Qt::ISODateWithMs)));
    QStringList command{program};
    command << arguments;
    writeComment(QStringLiteral("command: ") + command.join(QLatin1Char(' ')));
}

void TraceWriter::startClock()
{
    m_clock.restart();
}

void TraceWriter::startPort(const QString &lineDescription)
{
    startClock();
    writeComment(QStringLiteral("port ") + lineDescription);
}

void TraceWriter::writeRecord(Direction direction, const QString &exchange, const QByteArray &bytes)
{
    put(formatRecord(m_clock.nsecsElapsed() / 1000, direction, exchange, bytes));
}

void TraceWriter::follow(QIODevice *port)
{
    if (m_followed && followerOf(m_followed) == this)
        m_followed->setProperty(FollowerProperty, QVariant());
    m_followed = port;
    if (port)
        port->setProperty(FollowerProperty, QVariant::fromValue(static_cast<QObject *>(this)));
}

TraceWriter *TraceWriter::followerOf(const QIODevice *port)
{
    return qobject_cast<TraceWriter *>(port->property(FollowerProperty).value<QObject *>());
}

QByteArray TraceWriter::formatRecord(qint64 timeUs, Direction direction, const QString &exchange,
                                     const QByteArray &bytes)
{
    QByteArray head = QByteArray::number(timeUs).rightJustified(8, ' ');
    head += direction == Direction::ToReceiver ? " > " : " < ";
    head += exchange.toLatin1().leftJustified(8, ' ');
    head += ' ' + QByteArray::number(bytes.size()).rightJustified(2, ' ') + "  ";

    // Continuation lines line their bytes up under the first line's.
    const QByteArray indent(head.size(), ' ');
    QByteArray record;
    for (int at = 0; at < bytes.size() || at == 0; at += BytesPerLine) {
        record += at == 0 ? head : indent;
        record += hexAndText(bytes, at, qMin(BytesPerLine, int(bytes.size()) - at));
        record += '\n';
    }
    return record;
}

void TraceWriter::put(const QByteArray &text)
{
    if (!m_writing)
        return;
    // A write the disk takes only in part is tried again for the rest: the
    // next attempt fails with the cause (a full disk) that the first left
    // unsaid. A file's buffer meets the disk at the flush.
    qint64 written = 0;
    while (written < text.size()) {
        const qint64 piece = m_output->write(text.constData() + written, text.size() - written);
        if (piece <= 0)
            break;
        written += piece;
    }
    auto *file = qobject_cast<QFileDevice *>(m_output);
    if (written == text.size() && (!file || file->flush()))
        return;
    m_writing = false;
    m_failure = LocalSave::asReason(m_output->errorString());
    emit stoppedWriting(m_failure);
}
