// One run of spiffs-cli: checks the command line, opens the port once, runs
// the command's exchanges through a DeviceSession and says how it went in
// the exit status.
#ifndef CLITOOL_H
#define CLITOOL_H

#include "commandline.h"

#include "core/catalogueformat.h"

#include <QtCore/QByteArray>
#include <QtCore/QFile>
#include <QtCore/QObject>
#include <QtCore/QTimer>
#include <QtCore/QVector>
#include <QtSerialPort/QSerialPort>

#include <memory>
#include <optional>

class DeviceReply;
class DeviceSession;
class JobProgress;
class ProgressMeter;
class TraceWriter;

class CliTool : public QObject
{
    Q_OBJECT

public:
    CliTool();
    ~CliTool() override;

    int run(const QStringList &arguments);

private:
    // A local file and the device name it goes under.
    struct FileAndName
    {
        QString localPath;
        QByteArray name;
        qint64 size = 0;
    };

    int runPorts();
    int runDf();
    int runLs();
    int runGet();
    int runCat();
    int runPut();
    int runRm();
    int runFormat();
    int runRun();
    int runReboot();
    int runVerify();
    int runBackup();
    int runRestore();
    int runSync();

    // The whole-receiver jobs' shared steps (jobs.cpp).
    struct JobReport;
    struct PlannedUpload;
    bool awaitFile(DeviceReply *reply, JobProgress &progress);
    int carryOut(JobReport &report, const QVector<QByteArray> &removals, const QVector<PlannedUpload> &uploads,
                 const QVector<CatalogueFormat::ListingEntry> &expected);
    int endJob(JobReport &report, int status);

    std::optional<FileAndName> fileAndName(const QString &argument);
    std::optional<QByteArray> readLocalFile(const FileAndName &file);
    int openTrace();
    int openSession();
    bool await(DeviceReply *reply, ProgressMeter *meter = nullptr);
    int failure(DeviceReply *reply, const QString &subject);
    bool showsProgress() const;

    CommandLine m_line;
    QString m_portName;
    QSerialPort m_port;
    QFile m_traceFile;
    std::unique_ptr<TraceWriter> m_trace;
    std::unique_ptr<DeviceSession> m_session;
    QTimer m_interruptPoll;
    bool m_interrupted = false;
};

#endif // CLITOOL_H
