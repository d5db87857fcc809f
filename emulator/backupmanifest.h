// The MANIFEST of a backup folder (spiffs-cli backup), read and written by
// the emulator on its own, so that a backup can serve as its store:
//
//   spiffs-backup 1 DATE TOTAL USED
//   SIZE SHA256 NAME PATH
//   ! SIZE SHA256 NAME PATH        (a file restore leaves out)
//
// One space between fields. NAME is the receiver's bytes, PATH the UTF-8
// path of the copy relative to the folder; both escaped: "!" to "~" stand
// for themselves except "\", written "\\"; any other byte is "\x" and two
// lower-case hex digits. "-" stands for a SHA256 and PATH never saved, "\x"
// alone for an empty NAME.
#ifndef BACKUPMANIFEST_H
#define BACKUPMANIFEST_H

#include <QtCore/QByteArray>
#include <QtCore/QByteArrayList>
#include <QtCore/QString>
#include <QtCore/QVector>

struct BackupManifest
{
    static constexpr char FileName[] = "MANIFEST";
    // Where spiffs-cli gathers a backup's downloads before moving them in.
    static constexpr char StagingFolder[] = ".spiffs-backup-incoming";

    struct File
    {
        QByteArray name;
        QString path;         // empty when never saved
        qint64 size = 0;
        QByteArray sha256;    // raw, 32 bytes; empty when never saved
        bool restorable = true; // false on a "!" line
        QByteArray text;      // the line as it was read
        int line = 0;
    };

    // Every line after the header, in order: the receiver's listing order.
    QVector<File> files;

    // Whether text starts as a MANIFEST does, so that a folder holding one
    // is taken for a backup.
    static bool looksLikeOne(const QByteArray &text);
    // False with the line at fault for a MANIFEST that cannot be trusted:
    // another format, bad fields or escapes, a path that leaves the folder,
    // a name or path given twice.
    static bool parse(const QByteArray &text, BackupManifest *manifest, QString *error);
    // A MANIFEST written now for total and used bytes: the served files'
    // lines made afresh from their fields, then the kept ones as they were.
    static QByteArray text(const QVector<File> &served, const QVector<File> &kept, quint32 totalBytes,
                           quint32 usedBytes);

    static QByteArray escaped(const QByteArray &bytes);
    // False when text holds something escaped() does not write.
    static bool unescape(const QByteArray &text, QByteArray *bytes);
};

#endif // BACKUPMANIFEST_H
