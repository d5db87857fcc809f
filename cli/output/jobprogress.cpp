#include "cli/output/jobprogress.h"

#include "cli/output/shownfigures.h"

namespace {
constexpr int NameWidth = 20;
} // namespace

JobProgress::JobProgress(int fileCount, qint64 totalBytes, bool shown)
    : m_line(shown), m_fileCount(fileCount), m_totalBytes(totalBytes)
{
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
    m_line.finish();
}

void JobProgress::draw(bool force)
{
    if (!m_line.dueForRedraw(force))
        return;
    const qint64 done = m_doneBefore + m_fileDone;
    const int percent = m_fileSize > 0 ? int(m_fileDone * 100 / m_fileSize) : 100;
    const int countWidth = int(QString::number(m_fileCount).size());
    m_line.draw(QStringLiteral("file %1 of %2  %3 %4%  %5 of %6")
                        .arg(m_fileNumber, countWidth)
                        .arg(m_fileCount)
                        .arg(m_name.leftJustified(NameWidth), QString::number(percent).rightJustified(3),
                             byteCount(done), byteCount(m_totalBytes))
                + ProgressLine::rateAndTime(done, m_totalBytes, double(m_line.elapsedMs()) / 1000));
}
