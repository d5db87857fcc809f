#include "core/uploadfile.h"

#include <QtCore/QFileInfo>

bool openUploadFile(QFile &file, const QString &path)
{
    // Checked before opening, as opening a pipe waits for a writer.
    if (!QFileInfo(path).isFile())
        return false;
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // Swapped for something else since the check.
    if (file.isSequential()) {
        file.close();
        return false;
    }
    return true;
}

std::optional<QByteArray> readUploadFile(QFile &file, qint64 size)
{
    // One byte more than measured tells that the file has grown.
    QByteArray content = file.read(size + 1);
    if (content.size() != size || file.error() != QFileDevice::NoError)
        return std::nullopt;
    return content;
}
