// What the receiver's firmware does with each command frame: the change to
// its file store and the answer it gives. No line and no clock: DeviceEngine
// cuts the frames off the line and sends the answers when they fall due.
//
// Where the program leaves the firmware's ways open:
// - Upload: "U" is a start frame when no upload is open, a chunk otherwise.
//   The file replaces any of the same name only when "u" ends it with every
//   announced byte; on "a" (bad name, no room, chunk of 0 or more than 32
//   bytes, more bytes than announced, "u" too early or with no upload open)
//   the store stays as it was. Any other command abandons an open upload
//   without an answer.
// - "X" answers "X" only for a file that exists and whose type the receiver
//   opens; the type is the lower-cased text between the path's first "." and
//   the next "." or the end.
// - A file named in corruptNames is stored with the byte at size / 2
//   inverted whenever its upload completes; the answer is "u" all the same.
#ifndef RECEIVERCOMMANDS_H
#define RECEIVERCOMMANDS_H

#include "devicestore.h"
#include "engineoptions.h"

#include <QtCore/QByteArray>
#include <QtCore/QByteArrayList>
#include <QtCore/QString>
#include <QtCore/QStringList>

class ReceiverCommands
{
public:
    static constexpr int MaxChunk = 32;

    // What one command came to.
    struct Outcome
    {
        QByteArray answer;       // empty: none
        bool afterWrite = false; // a chunk's answer waits for the flash write
        bool restart = false;    // "Q": a software reset follows
        // For the log: what the receiver did to a file, and with verbose
        // everything else.
        QStringList log;
    };

    explicit ReceiverCommands(const EngineOptions &options);

    // letter and its payload, as one whole frame carries them.
    Outcome carryOut(char letter, const QByteArray &payload);
    // A reset or a fresh line: the file being uploaded is forgotten.
    void abandonUpload() { m_upload = Upload(); }

    bool uploadOpen() const { return m_upload.open; }
    DeviceStore &store() { return m_store; }
    const DeviceStore &store() const { return m_store; }
    // Paths of the files opened by "X", in order.
    const QByteArrayList &openedFiles() const { return m_opened; }

    // Whether the receiver opens files of this path's type.
    static bool canOpen(const QByteArray &path);
    static QByteArray fileType(const QByteArray &path);

private:
    struct Upload
    {
        bool open = false;
        QByteArray name;
        quint32 announced = 0;
        QByteArray content;
    };

    void memoryReport(Outcome &outcome) const;
    void listing(Outcome &outcome) const;
    void download(const QByteArray &path, Outcome &outcome) const;
    void remove(const QByteArray &path, Outcome &outcome);
    void execute(const QByteArray &path, Outcome &outcome);
    void startUpload(const QByteArray &payload, Outcome &outcome);
    void uploadChunk(const QByteArray &payload, Outcome &outcome);
    void endUpload(Outcome &outcome);
    void corruptIfNamed(const QByteArray &name, QByteArray *content, Outcome &outcome) const;
    // A line only the verbose log shows.
    void note(Outcome &outcome, const QString &line) const;

    DeviceStore m_store;
    quint32 m_reportedTotal;
    QByteArrayList m_corruptNames;
    bool m_verbose = false;
    Upload m_upload;
    QByteArrayList m_opened;
};

#endif // RECEIVERCOMMANDS_H
