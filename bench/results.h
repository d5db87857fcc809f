// The figures of a benchmark run: samples per figure, their median and
// spread, a summary table and one machine-readable line per figure.
#ifndef RESULTS_H
#define RESULTS_H

#include <QtCore/QString>
#include <QtCore/QVector>

#include <deque>
#include <optional>

struct Figure
{
    QString name;  // machine-readable: bench <name> <median> <unit>
    QString label; // for the table
    QString unit;
    QVector<double> samples;
    QString target;          // what it must reach, as text; empty when none
    std::optional<bool> met; // set when there is a target

    double median() const;
    double minimum() const;
    double maximum() const;
};

class Results
{
public:
    Figure &add(const QString &name, const QString &label, const QString &unit);
    Figure *find(const QString &name);
    double median(const QString &name);

    // Sets the target text and whether the median meets it.
    void judge(const QString &name, const QString &target, bool met);

    // The summary table, then the "bench" lines.
    QString report() const;

private:
    std::deque<Figure> m_figures; // references to figures stay valid as more are added
};

#endif // RESULTS_H
