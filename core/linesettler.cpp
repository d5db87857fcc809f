#include "core/linesettler.h"

#include "core/receiverline.h"

#include <QtCore/QIODevice>

void BootTextWatch::reset()
{
    m_tail.clear();
    m_seen = false;
}

bool BootTextWatch::feed(const QByteArray &bytes)
{
    const QByteArray seen = m_tail + bytes;
    if (seen.contains("rst:") || seen.contains("ets ") || seen.contains("boot:"))
        m_seen = true;
    m_tail = seen.right(4);
    return m_seen;
}

LineSettler::LineSettler(QIODevice *line, QObject *parent) : QObject(parent), m_line(line)
{
    m_quiet.setSingleShot(true);
    m_limit.setSingleShot(true);
    // A coarse timer may fire up to 5 % early, and a boot that pauses just
    // under the quiet spell would then be cut off.
    m_quiet.setTimerType(Qt::PreciseTimer);
    connect(&m_quiet, &QTimer::timeout, this, &LineSettler::finish);
    connect(&m_limit, &QTimer::timeout, this, &LineSettler::finish);
    if (!line)
        return;
    connect(line, &QIODevice::readyRead, this, &LineSettler::onReadyRead);
    connect(line, &QIODevice::aboutToClose, this, &LineSettler::cancel);
}

void LineSettler::start(Exchange traceAs)
{
    m_traceAs = traceAs;
    m_boot.reset();
    m_settling = true;
    m_quiet.start(OpeningQuietMs);
    m_limit.start(SettleLimitMs);
}

void LineSettler::cancel()
{
    m_settling = false;
    m_quiet.stop();
    m_limit.stop();
}

void LineSettler::onReadyRead()
{
    if (!m_settling || !m_line)
        return;
    const QByteArray bytes = ReceiverLine::readAll(*m_line, m_traceAs);
    if (bytes.isEmpty())
        return;
    m_quiet.start(m_boot.feed(bytes) ? BootQuietMs : OpeningQuietMs);
}

void LineSettler::finish()
{
    if (!m_settling)
        return;
    cancel();
    emit settled();
}
