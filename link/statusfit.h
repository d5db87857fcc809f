// Status bar messages that would run past the edge of the fixed-size
// window: what a message begins with stays whole, a name inside it is cut in
// its middle, its end stays whole, and the whole text, advice included,
// is the status bar's tooltip for as long as the message is shown.
#ifndef STATUSFIT_H
#define STATUSFIT_H

#include <QtCore/QString>

class QFontMetrics;
class QStatusBar;

// The width the status bar paints a message in.
int messageRoom(const QStatusBar *bar);

// head + middle + tail within room, middle elided when the three do not fit.
QString fittedMessage(const QFontMetrics &metrics, int room, const QString &head, const QString &middle,
                      const QString &tail);

// Shows head + middle + tail fitted to the bar, whole in the tooltip.
void showFitted(QStatusBar *bar, const QString &head, const QString &middle, const QString &tail, const QString &whole);

#endif // STATUSFIT_H
