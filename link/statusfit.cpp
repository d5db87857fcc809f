#include "link/statusfit.h"

#include <QtGui/QFontMetrics>
#include <QtWidgets/QSizeGrip>
#include <QtWidgets/QStatusBar>

int messageRoom(const QStatusBar *bar)
{
    // QStatusBar paints from 6 px to 12 px short of its right end, or up to
    // its size grip at that end. The bar spans the window, laid out or not.
    const int width = bar->window()->width();
    int right = width - 12;
    const QSizeGrip *grip = bar->findChild<QSizeGrip *>();
    if (grip && grip->isVisibleTo(bar->window()))
        right = qMin(right, width - grip->sizeHint().width());
    return right - 6;
}

QString fittedMessage(const QFontMetrics &metrics, int room, const QString &head, const QString &middle,
                      const QString &tail)
{
    const QString whole = head + middle + tail;
    if (metrics.horizontalAdvance(whole) <= room)
        return whole;
    const QString ends = head + tail;
    if (metrics.horizontalAdvance(ends) > room)
        return metrics.elidedText(ends, Qt::ElideRight, room);
    // A name cut to less than half says nothing; the list beside still shows it.
    const QString cut = metrics.elidedText(middle, Qt::ElideMiddle, room - metrics.horizontalAdvance(ends));
    return cut.size() * 2 < middle.size() ? ends : head + cut + tail;
}

void showFitted(QStatusBar *bar, const QString &head, const QString &middle, const QString &tail, const QString &whole)
{
    static QMetaObject::Connection clearTip;
    const QString shown = fittedMessage(bar->fontMetrics(), messageRoom(bar), head, middle, tail);
    bar->showMessage(shown, 0);
    bar->setToolTip(whole);
    QObject::disconnect(clearTip);
    clearTip = QObject::connect(bar, &QStatusBar::messageChanged, bar, [bar, shown](const QString &now) {
        if (now != shown)
            bar->setToolTip(QString());
    });
}
