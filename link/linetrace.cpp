#include "link/linetrace.h"

#include "link/linkstate.h"
#include "core/receiverline.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDebug>

void startTraceFromEnvironment()
{
    LinkState &link = linkState();
    const QString path = qEnvironmentVariable(TraceVariable);
    if (path.isEmpty() || link.trace)
        return;
    link.traceFile.setFileName(path);
    // Each record goes straight to the file, which then names a failed write's cause.
    if (!link.traceFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        qWarning().noquote() << QStringLiteral("spiffs-manager: cannot write the trace %1: %2")
                                        .arg(path, link.traceFile.errorString());
        return;
    }
    link.trace = std::make_unique<TraceWriter>(&link.traceFile);
    QObject::connect(link.trace.get(), &TraceWriter::stoppedWriting, [path](const QString &reason) {
        qWarning().noquote() << QStringLiteral("spiffs-manager: cannot write the trace %1: %2; it ends there").arg(path, reason);
    });
    link.trace->writeHeader();
    link.trace->writeProgramComments(QStringLiteral("spiffs-manager"), QStringLiteral(SPIFFS_VERSION),
                                     QCoreApplication::arguments().mid(1));
}

void traceOpenedPort(QSerialPort &port, const QString &portName)
{
    LinkState &link = linkState();
    if (!link.trace)
        return;
    link.trace->startPort(ReceiverLine::description(portName));
    link.trace->follow(&port);
}
