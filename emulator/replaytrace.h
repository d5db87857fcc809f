// A receiver recorded by the command line (spiffs-cli --trace FILE): what
// the program wrote and read, with the time of each write and read.
//
// The file, version 1:
//
//     # spiffs-cli trace 1
//     # comment lines start with "#"
//            0 < OPEN     12  65 74 73 20 4a 75 6e 20 20 38 20 32              |ets Jun  8 2|
//          512 > MEMORY   17  4b 2d 57 61 6e 64 65 72 65 72 5f 5f 5f 5f 5f 5f  |K-Wanderer______|
//                             4d                                               |M|
//
// A record: microseconds since the port opened, ">" (written by the
// program) or "<" (read by it), the exchange's label, the byte count, then
// up to 16 bytes in hex and the same bytes as text, which is not read back.
// Continuation lines hold the next 16 bytes each. Blank lines do not count.
//
// A comment "# port ..." names the port each time the program opened it: the
// window writes one at every Connect, and the records after it count their
// time from that opening again. Each one after a record starts a new
// connection.
#ifndef REPLAYTRACE_H
#define REPLAYTRACE_H

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtCore/QVector>

struct ReplayTrace
{
    static constexpr int Version = 1;

    struct Piece
    {
        qint64 offsetUs; // after the request arrived; for the opening, after the open
        QByteArray bytes;
    };
    // A run of ">" records with the same label (one request, their bytes
    // joined) and the "<" records that follow it, its reply.
    struct Exchange
    {
        QByteArray label;
        QByteArray request;
        QVector<Piece> reply;
        int line = 0; // of the request's first record
    };

    // One opening of the port and what crossed the line until the next.
    struct Connection
    {
        // What the program read before its first request: the boot text.
        QVector<Piece> opening;
        QVector<Exchange> exchanges;
        int line = 0; // of its "# port" comment; 0 for records before any
    };

    // In the order they were recorded; at least one, maybe empty.
    QVector<Connection> connections;

    // False for a text that is not a version 1 trace; error then names the
    // line at fault.
    static bool parse(const QByteArray &text, ReplayTrace *trace, QString *error);
    // The same for a file; the error starts with the file's name.
    static bool load(const QString &path, ReplayTrace *trace, QString *error);
};

#endif // REPLAYTRACE_H
