// Progress on standard error, drawn only when it is a terminal: one line
// rewritten in place, a few times a second.
#ifndef PROGRESSMETER_H
#define PROGRESSMETER_H

#include <QtCore/QElapsedTimer>
#include <QtCore/QString>

// The line itself: when to redraw it, and how to write over the last one.
class ProgressLine
{
public:
    explicit ProgressLine(bool shown);
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;

    bool isShown() const { return m_shown; }
    bool hasDrawn() const { return m_drawn; }
    qint64 elapsedMs() const { return m_clock.elapsed(); }
    // True when enough time has passed since the last drawing (or force).
    bool dueForRedraw(bool force);
    void draw(QString line);
    // The last state stays on its line; the next output starts below it.
    void finish();

    // "  R/s  T left" (or "  in T" once done) for done of total bytes.
    static QString rateAndTime(qint64 done, qint64 total, double seconds);

private:
    bool m_shown;
    bool m_drawn = false;
    QElapsedTimer m_clock;
    qint64 m_lastDrawMs = -1;
    int m_lastWidth = 0;
};

// A single transfer: its label, percent, bytes, rate and time left.
class ProgressMeter
{
public:
    ProgressMeter(const QString &label, bool shown);
    ~ProgressMeter();

    void update(qint64 done, qint64 total);
    void finish();

private:
    void draw();

    ProgressLine m_line;
    QString m_label;
    qint64 m_done = 0;
    qint64 m_total = 0;
};

#endif // PROGRESSMETER_H
