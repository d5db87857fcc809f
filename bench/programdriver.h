// The real program under measurement: a MainWindow (offscreen), whose port
// list holds one pseudo-terminal, driven through its buttons and its file
// dialogs as a user would drive it.
//
// Timing without touching the program: the driver connects one slot to the
// serial port's readyRead before the program binds its reply handler, and one
// after (told by the link's notifier once the line has settled after
// Connect), so they run just before and just after every call of the handler.
// The first notes the time (and the thread's CPU time) of each arrival of
// bytes, the second sees the operation register leave the watched operation:
// that is the moment the program has finished with the reply.
#ifndef PROGRAMDRIVER_H
#define PROGRAMDRIVER_H

#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QString>
#include <QtCore/QTimer>

#include <functional>
#include <memory>

class MainWindow;
class QEventLoop;

class ProgramDriver : public QObject
{
public:
    explicit ProgramDriver(const QString &portName);
    ~ProgramDriver() override;

    // Picks the port, clicks Connect, waits for the memory report and the
    // listing.
    bool connectAndWait(int timeoutMs = 60000);
    bool waitUntilIdle(int timeoutMs = 60000);
    bool selectFile(const QString &name);
    int rowCount() const;
    QString statusText() const;

    struct Timing
    {
        bool ok = false;
        qint64 startNs = 0;           // the file dialog answered; for relist, Connect clicked
        qint64 cpuAtStartNs = 0;
        qint64 firstArrivalNs = 0;    // first bytes of the reply handed to the program
        qint64 cpuAtFirstArrivalNs = 0;
        qint64 endNs = 0;             // the program done with the reply
        qint64 cpuAtEndNs = 0;
        qint64 handlerNs = 0;         // time spent in the reply handler
        qint64 lastHandlerNs = 0;     // of which in its last call (a download: saving the file)
        int arrivals = 0;
        qint64 paintedNs = 0;         // the table painted afterwards (relist only)
    };

    // Download of the selected file into folder; ends when the file is saved.
    Timing download(const QString &folder, int timeoutMs);
    // Upload of a local file; ends when the device's final answer is handled.
    Timing upload(const QString &path, int timeoutMs);
    // Disconnect, connect: times the listing, up to the table painted, and
    // the whole from the click on Connect.
    Timing relist(int timeoutMs);

    // Presses Download, picks folder, and returns once the content has
    // begun to arrive (at least bytes of it), without waiting for the rest.
    bool startDownload(const QString &folder, qint64 bytes, int timeoutMs);
    // Presses Connect (or Disconnect) and returns at once.
    void pressConnect();

private:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void beforeHandler();
    void afterHandler();
    void bindAfterHandler();
    void answerFileDialog();
    Timing watch(const QString &operation, int timeoutMs, const std::function<void()> &start);

    std::unique_ptr<MainWindow> m_window;
    QString m_portName;
    QMetaObject::Connection m_before;
    QMetaObject::Connection m_after;

    QString m_watched;
    bool m_inWatched = false;
    bool m_done = false;
    qint64 m_arrivalNs = 0;
    Timing m_timing;
    QEventLoop *m_loop = nullptr;

    QTimer m_dialogPoll;
    QString m_dialogAnswer;

    bool m_painted = false;
};

#endif // PROGRAMDRIVER_H
