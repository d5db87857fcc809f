#include "core/devicereply.h"

DeviceReply::DeviceReply(Exchange exchange, const QByteArray &deviceName, QObject *parent)
    : QObject(parent), m_exchange(exchange), m_deviceName(deviceName)
{
}

void DeviceReply::setProgress(qint64 done, qint64 total)
{
    m_bytesDone = done;
    m_bytesTotal = total;
    emit progress(done, total);
}

void DeviceReply::finish(Error error, const QString &errorString)
{
    if (m_finished)
        return;
    m_finished = true;
    m_error = error;
    m_errorString = errorString;
    if (error != NoError)
        emit errorOccurred(error);
    emit finished();
}
