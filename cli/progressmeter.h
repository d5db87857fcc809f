// One line on standard error that shows how a transfer goes: percent,
// bytes, rate and time left. Drawn only when standard error is a terminal.
#ifndef PROGRESSMETER_H
#define PROGRESSMETER_H

#include <QtCore/QElapsedTimer>
#include <QtCore/QString>

class ProgressMeter
{
public:
    ProgressMeter(const QString &label, bool shown);
    ~ProgressMeter();
    ProgressMeter(const ProgressMeter &) = delete;
    ProgressMeter &operator=(const ProgressMeter &) = delete;

    void update(qint64 done, qint64 total);
    // The last state stays on its line; the next output starts below it.
    void finish();

    static QString byteCount(qint64 bytes);

private:
    void draw();

    QString m_label;
    bool m_shown;
    bool m_drawn = false;
    QElapsedTimer m_clock;
    qint64 m_lastDrawMs = -1;
    qint64 m_done = 0;
    qint64 m_total = 0;
    int m_lastWidth = 0;
};

#endif // PROGRESSMETER_H
