#include "replaytrace.h"

#include <QtCore/QFile>

#include <algorithm>

namespace {

constexpr int BytesPerLine = 16;
// No single write or read of a serial port comes near this.
constexpr qint64 MaxRecordBytes = 1 << 30;
constexpr qint64 MaxTimeUs = 1000000000000000LL; // some 31 years

struct Record
{
    qint64 timeUs = 0;
    char direction = 0;
    QByteArray label;
    qint64 count = 0;
    QByteArray bytes;
    int line = 0;
};

// Reads one line of a record from its text, left to right.
class Cursor
{
public:
    explicit Cursor(const QByteArray &text)
        : m_text(text)
    {
    }

    bool atEnd() const { return m_at >= m_text.size(); }
    char peek() const { return atEnd() ? '\0' : m_text.at(m_at); }

    int skipSpaces()
    {
        const int from = m_at;
        while (peek() == ' ')
            ++m_at;
        return m_at - from;
    }

    bool take(char wanted)
    {
        if (atEnd() || peek() != wanted)
            return false;
        ++m_at;
        return true;
    }

    bool number(qint64 maximum, qint64 *value)
    {
        const int from = m_at;
        qint64 result = 0;
        while (peek() >= '0' && peek() <= '9') {
            result = result * 10 + (peek() - '0');
            if (result > maximum)
                return false;
            ++m_at;
        }
        *value = result;
        return m_at > from;
    }

    QByteArray word()
    {
        const int from = m_at;
        while ((peek() >= 'A' && peek() <= 'Z') || (m_at > from && ((peek() >= '0' && peek() <= '9') || peek() == '_')))
            ++m_at;
        return m_text.mid(from, m_at - from);
    }

    // count bytes as two hex digits each, single spaces between them, and
    // after the last one nothing but the text column: spaces, then "|".
    // (A line with the bytes of a record still to come could otherwise pass
    // for a record whose time looks like a hex byte, and the other way.)
    bool hexBytes(int count, QByteArray *bytes)
    {
        for (int i = 0; i < count; ++i) {
            if (i > 0 && !take(' '))
                return false;
            const int high = hexDigit(peek());
            if (high < 0)
                return false;
            ++m_at;
            const int low = hexDigit(peek());
            if (low < 0)
                return false;
            ++m_at;
            bytes->append(char(high * 16 + low));
        }
        if (atEnd())
            return true;
        return skipSpaces() > 0 && (atEnd() || peek() == '|');
    }

private:
    static int hexDigit(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    const QByteArray &m_text;
    int m_at = 0;
};

bool isBlank(const QByteArray &line)
{
    return std::all_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t'; });
}

bool fail(QString *error, int line, const QString &what)
{
    if (error)
        *error = QStringLiteral("line %1: %2").arg(line).arg(what);
    return false;
}

bool readHeader(const QByteArray &line, QString *error)
{
    const QByteArray header = "# spiffs-cli trace ";
    if (!line.startsWith(header))
        return fail(error, 1, QStringLiteral("not a trace: it starts with \"%1%2\"")
                                      .arg(QString::fromLatin1(header))
                                      .arg(ReplayTrace::Version));
    if (line.mid(header.size()).trimmed() != QByteArray::number(ReplayTrace::Version))
        return fail(error, 1, QStringLiteral("trace version %1; this emulator reads version %2")
                                      .arg(QString::fromUtf8(line.mid(header.size()).trimmed()),
                                           QString::number(ReplayTrace::Version)));
    return true;
}

// The first line of a record: time, direction, label, count and up to 16
// bytes; the time is not before lastUs.
bool readRecordStart(Cursor &cursor, qint64 lastUs, Record *record, QString *error)
{
    const int number = record->line;
    if (!cursor.number(MaxTimeUs, &record->timeUs) || !cursor.take(' '))
        return fail(error, number, QStringLiteral("a record starts with its time in microseconds"));
    if (record->timeUs < lastUs)
        return fail(error, number, QStringLiteral("the time goes back (%1 after %2)").arg(record->timeUs).arg(lastUs));
    record->direction = cursor.peek();
    if ((!cursor.take('>') && !cursor.take('<')) || !cursor.take(' '))
        return fail(error, number, QStringLiteral("\">\" or \"<\" expected after the time"));
    record->label = cursor.word();
    if (record->label.isEmpty() || cursor.skipSpaces() == 0)
        return fail(error, number, QStringLiteral("an upper-case label expected after the direction"));
    if (!cursor.number(MaxRecordBytes, &record->count))
        return fail(error, number, QStringLiteral("a byte count expected after the label"));
    const int first = int(std::min<qint64>(BytesPerLine, record->count));
    if (first > 0 && (cursor.skipSpaces() < 2 || !cursor.hexBytes(first, &record->bytes)))
        return fail(error, number, QStringLiteral("%1 bytes in hex expected after the count").arg(first));
    return true;
}

bool startsConnection(const QByteArray &line)
{
    return line.startsWith("# port ");
}

// Joins runs of one connection's records into the exchanges they make up.
void build(const QVector<Record> &records, ReplayTrace::Connection *connection)
{
    qint64 requestUs = 0;
    char previous = 0;
    for (const Record &record : records) {
        if (record.bytes.isEmpty())
            continue; // an empty write or read changes nothing on the line
        if (record.direction == '>') {
            // A new label is a new exchange, even when the one before got no answer.
            if (previous != '>' || record.label != connection->exchanges.constLast().label) {
                ReplayTrace::Exchange exchange;
                exchange.label = record.label;
                exchange.line = record.line;
                connection->exchanges.append(exchange);
            }
            connection->exchanges.last().request += record.bytes;
            requestUs = record.timeUs;
        } else if (connection->exchanges.isEmpty()) {
            connection->opening.append({record.timeUs, record.bytes});
        } else {
            connection->exchanges.last().reply.append({record.timeUs - requestUs, record.bytes});
        }
        previous = record.direction;
    }
}

} // namespace

bool ReplayTrace::parse(const QByteArray &text, ReplayTrace *trace, QString *error)
{
    *trace = ReplayTrace();
    QByteArrayList lines = text.split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }

    if (!readHeader(lines.constFirst(), error))
        return false;

    QVector<Record> records; // of the connection being read
    Record open; // the record whose bytes are still coming
    qint64 lastUs = 0;
    trace->connections.append(ReplayTrace::Connection());
    for (int index = 1; index < lines.size(); ++index) {
        const QByteArray &line = lines.at(index);
        const int number = index + 1;
        if (startsConnection(line) && open.bytes.size() == open.count) {
            // The port opened again: the clock starts again.
            if (!records.isEmpty()) {
                build(records, &trace->connections.last());
                trace->connections.append(ReplayTrace::Connection());
                records.clear();
            }
            trace->connections.last().line = number;
            lastUs = 0;
            continue;
        }
        if (isBlank(line) || line.trimmed().startsWith('#'))
            continue;
        Cursor cursor(line);
        cursor.skipSpaces();

        if (open.bytes.size() < open.count) {
            const int expected = int(std::min<qint64>(BytesPerLine, open.count - open.bytes.size()));
            if (!cursor.hexBytes(expected, &open.bytes))
                return fail(error, number, QStringLiteral("%1 more bytes of the record of line %2 expected, in hex")
                                                   .arg(expected)
                                                   .arg(open.line));
            if (open.bytes.size() == open.count)
                records.append(open);
            continue;
        }

        Record record;
        record.line = number;
        if (!readRecordStart(cursor, lastUs, &record, error))
            return false;
        lastUs = record.timeUs;
        if (record.bytes.size() == record.count)
            records.append(record);
        else
            open = record;
    }
    if (open.bytes.size() < open.count)
        return fail(error, open.line, QStringLiteral("the record announces %1 bytes, the file ends after %2")
                                              .arg(open.count)
                                              .arg(open.bytes.size()));
    build(records, &trace->connections.last());
    return true;
}

bool ReplayTrace::load(const QString &path, ReplayTrace *trace, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    QString why;
    if (!parse(file.readAll(), trace, &why)) {
        if (error)
            *error = QStringLiteral("%1, %2").arg(path, why);
        return false;
    }
    return true;
}
