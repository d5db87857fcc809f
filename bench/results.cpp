#include "results.h"

#include <algorithm>
#include <cmath>

namespace {

QString number(double value)
{
    if (std::isnan(value))
        return QStringLiteral("n/a");
    const double magnitude = std::fabs(value);
    const int decimals = magnitude >= 1000 ? 0 : magnitude >= 100 ? 1 : magnitude >= 10 ? 2 : 3;
    return QString::number(value, 'f', decimals);
}

QString padded(const QString &text, int width)
{
    return text.leftJustified(width, QLatin1Char(' '));
}

} // namespace

double Figure::median() const
{
    if (samples.isEmpty())
        return std::nan("");
    QVector<double> sorted = samples;
    std::sort(sorted.begin(), sorted.end());
    const int middle = sorted.size() / 2;
    return sorted.size() % 2 ? sorted.at(middle) : (sorted.at(middle - 1) + sorted.at(middle)) / 2;
}

double Figure::minimum() const
{
    return samples.isEmpty() ? std::nan("") : *std::min_element(samples.begin(), samples.end());
}

double Figure::maximum() const
{
    return samples.isEmpty() ? std::nan("") : *std::max_element(samples.begin(), samples.end());
}

Figure &Results::add(const QString &name, const QString &label, const QString &unit)
{
    if (Figure *existing = find(name))
        return *existing;
    Figure figure;
    figure.name = name;
    figure.label = label;
    figure.unit = unit;
    m_figures.push_back(figure);
    return m_figures.back();
}

Figure *Results::find(const QString &name)
{
    for (Figure &figure : m_figures) {
        if (figure.name == name)
            return &figure;
    }
    return nullptr;
}

double Results::median(const QString &name)
{
    const Figure *figure = find(name);
    return figure ? figure->median() : std::nan("");
}

void Results::judge(const QString &name, const QString &target, bool met)
{
    if (Figure *figure = find(name)) {
        figure->target = target;
        figure->met = met;
    }
}

QString Results::report() const
{
    int labelWidth = 6;
    for (const Figure &figure : m_figures)
        labelWidth = std::max(labelWidth, int(figure.label.size()));

    QString text;
    text += padded(QStringLiteral("figure"), labelWidth) + QStringLiteral("  ") + padded(QStringLiteral("median"), 10)
            + padded(QStringLiteral("min"), 10) + padded(QStringLiteral("max"), 10) + padded(QStringLiteral("unit"), 9)
            + padded(QStringLiteral("runs"), 6) + QStringLiteral("target\n");
    text += QString(labelWidth + 2 + 10 * 3 + 9 + 6 + 16, QLatin1Char('-')) + QLatin1Char('\n');
    for (const Figure &figure : m_figures) {
        QString verdict;
        if (figure.met)
            verdict = figure.target + (*figure.met ? QStringLiteral("  met") : QStringLiteral("  NOT met"));
        text += padded(figure.label, labelWidth) + QStringLiteral("  ") + padded(number(figure.median()), 10)
                + padded(number(figure.minimum()), 10) + padded(number(figure.maximum()), 10)
                + padded(figure.unit, 9) + padded(QString::number(figure.samples.size()), 6) + verdict;
        while (text.endsWith(QLatin1Char(' ')))
            text.chop(1);
        text += QLatin1Char('\n');
    }
    text += QLatin1Char('\n');
    for (const Figure &figure : m_figures) {
        text += QStringLiteral("bench %1 %2 %3\n")
                        .arg(figure.name, QString::number(figure.median(), 'g', 6), figure.unit);
    }
    return text;
}
