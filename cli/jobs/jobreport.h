// What backup, restore and sync report: what each did as it went (printed
// at the end as lines and a summary, or as one JSON document), and the
// figures they print. The protocol carries no checksum and knows no
// folders, so each job says exactly what it verified: sizes in a listing,
// hashes of local copies, and content only where it downloads it.
#ifndef JOBREPORT_H
#define JOBREPORT_H

#include "cli/output/commandoutput.h"
#include "cli/jobs/jobplan.h"

#include "core/catalogueformat.h"

#include <QtCore/QByteArray>
#include <QtCore/QElapsedTimer>
#include <QtCore/QHash>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVector>

#include <functional>

struct CommandLine;

struct JobReport : CommandOutput::Report
{
    explicit JobReport(const CommandLine &line);

    // Printed as lines and a summary, or with --json the document's fields.
    void addTo(QJsonObject &document) const override;
    void print() const override;
    // What is reported becomes empty again; the clock runs on.
    void clear();

    const CommandLine &line;

    QElapsedTimer clock;
    QJsonArray sent;
    QJsonArray received;
    QJsonArray removed;
    QJsonArray skipped;
    QJsonArray unchanged;
    QJsonArray verified;
    QJsonArray differences;
    QJsonArray notRestorable;
    QJsonArray kept; // backup: earlier backups' files left in DIR, not in the new MANIFEST
    QString keptManifest; // backup: the earlier MANIFEST kept beside the new one, or empty
    QString verifiedBy;
    qint64 bytes = 0;     // file content moved
    qint64 wireBytes = 0; // a dry run's estimate
    QStringList lines;    // stdout, without --json
    // The last line, made when it is printed: it counts what was done, also
    // when a failure ended the job.
    std::function<QString()> summary;

    double seconds() const { return double(clock.elapsed()) / 1000; }
    // A dry run's plan: what would be removed, and what sent.
    void planRemoval(const QByteArray &name);
    void planUpload(const QByteArray &name, qint64 size);
};

QByteArray sha256(const QByteArray &content);
QJsonObject fileObject(const QByteArray &name, qint64 size);
QString sizeColumn(qint64 size);
QString timeOnTheLine(qint64 wireBytes);

QHash<QByteArray, qint64> sizesByName(const QVector<CatalogueFormat::ListingEntry> &entries);

#endif // JOBREPORT_H
