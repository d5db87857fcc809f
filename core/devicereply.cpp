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

OwnedReply &OwnedReply::operator=(OwnedReply &&other) noexcept
{
    if (this != &other) {
        reset();
        m_reply = other.m_reply;
        other.m_reply = nullptr;
    }
    return *this;
}

void OwnedReply::reset()
{
    if (m_reply)
        m_reply->deleteLater();
    m_reply = nullptr;
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
