#include "core/tracewriter.h"

#include "core/devicesession.h"

#include <QtCore/QFileDevice>
#include <QtCore/QStringList>

namespace {

constexpr int HexColumns = TraceWriter::BytesPerLine * 3 - 1;

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

void TraceWriter::startClock()
{
    m_clock.restart();
}

void TraceWriter::writeRecord(Direction direction, const QString &exchange, const QByteArray &bytes)
{
    put(formatRecord(m_clock.nsecsElapsed() / 1000, direction, exchange, bytes));
}

void TraceWriter::follow(DeviceSession *session)
{
    connect(session, &DeviceSession::dataWritten, this, [this](const QByteArray &data, Exchange exchange) {
        writeRecord(Direction::ToReceiver, exchangeName(exchange), data);
    });
    connect(session, &DeviceSession::dataRead, this, [this](const QByteArray &data, Exchange exchange) {
        writeRecord(Direction::FromReceiver, exchangeName(exchange), data);
    });
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
    if (m_output->write(text) != text.size()) {
        m_writing = false;
        return;
    }
    if (auto *file = qobject_cast<QFileDevice *>(m_output))
        m_writing = file->flush();
}
