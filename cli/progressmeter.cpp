#include "progressmeter.h"

#include "console.h"

namespace {

// Redrawing a terminal line for every 32-byte chunk would cost more than the
// chunk; a few times a second is enough to read.
constexpr qint64 RedrawIntervalMs = 100;
constexpr int LabelWidth = 24;

QString duration(qint64 seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

ProgressMeter::ProgressMeter(const QString &label, bool shown) : m_label(label), m_shown(shown)
{
    if (m_label.size() > LabelWidth)
        m_label = QStringLiteral("...") + m_label.right(LabelWidth - 3);
    m_clock.start();
}

ProgressMeter::~ProgressMeter()
{
    finish();
}

QString ProgressMeter::byteCount(qint64 bytes)
{
    if (bytes < 10000)
        return QStringLiteral("%1 B").arg(bytes);
    if (bytes < 10000 * 1024)
        return QStringLiteral("%1 kB").arg(double(bytes) / 1024, 0, 'f', 1);
    return QStringLiteral("%1 MB").arg(double(bytes) / (1024 * 1024), 0, 'f', 1);
}

void ProgressMeter::update(qint64 done, qint64 total)
{
    m_done = done;
    m_total = total;
    if (!m_shown)
        return;
    const qint64 now = m_clock.elapsed();
    if (m_lastDrawMs >= 0 && now - m_lastDrawMs < RedrawIntervalMs && done < total)
        return;
    m_lastDrawMs = now;
    draw();
}

void ProgressMeter::finish()
{
    if (!m_shown || !m_drawn)
        return;
    draw();
    Console::printStatus(QStringLiteral("\n"));
    m_drawn = false;
    m_shown = false;
}

void ProgressMeter::draw()
{
    const double seconds = double(m_clock.elapsed()) / 1000;
    const int percent = m_total > 0 ? int(m_done * 100 / m_total) : 100;
    QString line = QStringLiteral("%1 %2%  %3 of %4")
                           .arg(m_label, -LabelWidth)
                           .arg(percent, 3)
                           .arg(byteCount(m_done), byteCount(m_total));
    if (seconds > 0.2 && m_done > 0) {
        const double rate = double(m_done) / seconds;
        line += QStringLiteral("  %1/s").arg(byteCount(qint64(rate)));
        if (m_done < m_total)
            line += QStringLiteral("  %1 left").arg(duration(qint64(double(m_total - m_done) / rate + 0.5)));
        else
            line += QStringLiteral("  in %1").arg(duration(qint64(seconds + 0.5)));
    }
    // Spaces over whatever a longer earlier line left behind.
    const int width = line.size();
    if (width < m_lastWidth)
        line += QString(m_lastWidth - width, QLatin1Char(' '));
    m_lastWidth = width;
    Console::printStatus(QLatin1Char('\r') + line);
    m_drawn = true;
}
