#include "jobprogress.h"

#include "console.h"
#include "progressmeter.h"

namespace {

constexpr qint64 RedrawIntervalMs = 100;
constexpr int NameWidth = 20;

QString duration(qint64 seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

JobProgress::JobProgress(int fileCount, qint64 totalBytes, bool shown)
    : m_fileCount(fileCount), m_totalBytes(totalBytes), m_shown(shown)
{
    m_clock.start();
}

JobProgress::~JobProgress()
{
    finish();
}

void JobProgress::startFile(const QString &name, qint64 size)
{
    ++m_fileNumber;
    m_name = name.size() > NameWidth ? QStringLiteral("...") + name.right(NameWidth - 3) : name;
    m_fileSize = size;
    m_fileDone = 0;
    draw(true);
}

void JobProgress::update(qint64 done)
{
    m_fileDone = done;
    draw(false);
}

void JobProgress::endFile()
{
    m_fileDone = m_fileSize;
    draw(true);
    m_doneBefore += m_fileSize;
    m_fileSize = 0;
    m_fileDone = 0;
}

void JobProgress::finish()
{
    if (!m_shown || !m_drawn)
        return;
    Console::printStatus(QStringLiteral("\n"));
    m_drawn = false;
    m_shown = false;
}

void JobProgress::draw(bool force)
{
    if (!m_shown)
        return;
    const qint64 now = m_clock.elapsed();
    if (!force && m_lastDrawMs >= 0 && now - m_lastDrawMs < RedrawIntervalMs)
        return;
    m_lastDrawMs = now;

    const qint64 done = m_doneBefore + m_fileDone;
    const int percent = m_fileSize > 0 ? int(m_fileDone * 100 / m_fileSize) : 100;
    const int countWidth = int(QString::number(m_fileCount).size());
    QString line = QStringLiteral("file %1 of %2  %3 %4%  %5 of %6")
                           .arg(m_fileNumber, countWidth)
                           .arg(m_fileCount)
                           .arg(m_name, -NameWidth)
                           .arg(percent, 3)
                           .arg(ProgressMeter::byteCount(done), ProgressMeter::byteCount(m_totalBytes));
    const double seconds = double(now) / 1000;
    if (seconds > 0.2 && done > 0) {
        const double rate = double(done) / seconds;
        line += QStringLiteral("  %1/s").arg(ProgressMeter::byteCount(qint64(rate)));
        if (done < m_totalBytes)
            line += QStringLiteral("  %1 left").arg(duration(qint64(double(m_totalBytes - done) / rate + 0.5)));
    }
    const int width = int(line.size());
    if (width < m_lastWidth)
        line += QString(m_lastWidth - width, QLatin1Char(' '));
    m_lastWidth = width;
    Console::printStatus(QLatin1Char('\r') + line);
    m_drawn = true;
}
