#include "cli/output/progressmeter.h"

#include "cli/output/console.h"
#include "cli/output/shownfigures.h"

namespace {

// Redrawing a terminal line for every 32-byte chunk would cost more than the
// chunk; a few times a second is enough to read.
constexpr qint64 RedrawIntervalMs = 100;
constexpr int LabelWidth = 24;

} // namespace

ProgressLine::ProgressLine(bool shown) : m_shown(shown)
{
    m_clock.start();
}

bool ProgressLine::dueForRedraw(bool force)
{
    if (!m_shown)
        return false;
    const qint64 now = m_clock.elapsed();
    if (!force && m_lastDrawMs >= 0 && now - m_lastDrawMs < RedrawIntervalMs)
        return false;
    m_lastDrawMs = now;
    return true;
}

void ProgressLine::draw(QString line)
{
    // Spaces over whatever a longer earlier line left behind.
    const int width = int(line.size());
    if (width < m_lastWidth)
        line += QString(m_lastWidth - width, QLatin1Char(' '));
    m_lastWidth = width;
    Console::printStatus(QLatin1Char('\r') + line);
    m_drawn = true;
}

void ProgressLine::finish()
{
    if (!m_shown || !m_drawn)
        return;
    Console::printStatus(QStringLiteral("\n"));
    m_drawn = false;
    m_shown = false;
}

QString ProgressLine::rateAndTime(qint64 done, qint64 total, double seconds)
{
    // Too early for a rate worth showing.
    if (seconds <= 0.2 || done <= 0)
        return QString();
    const double rate = double(done) / seconds;
    QString text = QStringLiteral("  %1/s").arg(byteCount(qint64(rate)));
    if (done < total)
        text += QStringLiteral("  %1 left").arg(duration(qint64(double(total - done) / rate + 0.5)));
    else
        text += QStringLiteral("  in %1").arg(duration(qint64(seconds + 0.5)));
    return text;
}

ProgressMeter::ProgressMeter(const QString &label, bool shown) : m_line(shown), m_label(label)
{
    if (m_label.size() > LabelWidth)
        m_label = QStringLiteral("...") + m_label.right(LabelWidth - 3);
}

ProgressMeter::~ProgressMeter()
{
    finish();
}

void ProgressMeter::update(qint64 done, qint64 total)
{
    m_done = done;
    m_total = total;
    if (m_line.dueForRedraw(done >= total))
        draw();
}

void ProgressMeter::finish()
{
    if (m_line.hasDrawn())
        draw();
    m_line.finish();
}

void ProgressMeter::draw()
{
    const int percent = m_total > 0 ? int(m_done * 100 / m_total) : 100;
    m_line.draw(QStringLiteral("%1 %2%  %3 of %4")
                        .arg(m_label.leftJustified(LabelWidth), QString::number(percent).rightJustified(3),
                             byteCount(m_done), byteCount(m_total))
                + ProgressLine::rateAndTime(m_done, m_total, double(m_line.elapsedMs()) / 1000));
}
