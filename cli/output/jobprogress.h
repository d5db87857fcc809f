// The progress line of a whole-receiver job on standard error: which file
// of how many, that file's percent, the job's bytes, rate and time left.
// Drawn only when standard error is a terminal and -q is not given.
#ifndef JOBPROGRESS_H
#define JOBPROGRESS_H

#include "cli/output/progressmeter.h"

#include <QtCore/QString>

class JobProgress
{
public:
    JobProgress(int fileCount, qint64 totalBytes, bool shown);
    ~JobProgress();
    JobProgress(const JobProgress &) = delete;
    JobProgress &operator=(const JobProgress &) = delete;

    void startFile(const QString &name, qint64 size);
    // Bytes of the current file moved so far.
    void update(qint64 done);
    void endFile();
    // Ends the line; what is printed next starts below it.
    void finish();

private:
    void draw(bool force);

    ProgressLine m_line;
    int m_fileCount;
    qint64 m_totalBytes;
    int m_fileNumber = 0;
    QString m_name;
    qint64 m_fileSize = 0;
    qint64 m_fileDone = 0;
    qint64 m_doneBefore = 0; // bytes of the files already finished
};

#endif // JOBPROGRESS_H
