#include "link/linesettle.h"

#include "link/linkstate.h"
#include "ui/mainwindowui.h"

#include <QtCore/QPointer>

void settleThenBind(MainWindowUi &ui, const ReplyTable &replyTable, Exchange traceAs,
                    const std::optional<ReplyRemainder> &remainder, const std::function<void()> &then,
                    int quietSoFarMs)
{
    LinkState &link = linkState();
    // The branches reach the window's widgets; once it is gone they must not run.
    QPointer<QWidget> window = ui.centralwidget->window();
    // The handler is bound only afterwards, so it never sees what is dropped;
    // bound before the next request goes out, so no reply byte can be missed.
    QObject::disconnect(link.readyReadBinding);
    delete link.settler.data();
    link.settler = new LineSettler(&link.serialPort, window);
    QObject::connect(link.settler, &LineSettler::settled, link.settler, [window, replyTable, then] {
        LinkState &link = linkState();
        link.readyReadBinding = QObject::connect(&link.serialPort, &QSerialPort::readyRead, &link.serialPort,
                                                 [window, replyTable] {
                                                     if (window)
                                                         onReadyRead(replyTable);
                                                 });
        emit link.notifier.replyHandlerBound();
        // Its work is done; a disconnect before its turn deletes it sooner.
        link.settler->deleteLater();
        then();
    });
    link.settler->start(traceAs, remainder, quietSoFarMs);
}
