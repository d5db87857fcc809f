#include "spiffslayout.h"

namespace SpiffsLayout {

quint32 pagesFor(quint32 size)
{
    return 1 + size / PageSize + (size % PageSize ? 1 : 0);
}

bool isValidName(const QByteArray &name)
{
    return !name.isEmpty() && 1 + name.size() <= MaxPathBytes && !name.contains('\0');
}

QString hostFileName(const QByteArray &name)
{
    // Names in UTF-8 stay readable; other bytes above 0x7F are encoded.
    const bool utf8 = QString::fromUtf8(name).toUtf8() == name;
    QByteArray encoded;
    for (int i = 0; i < name.size(); ++i) {
        const auto byte = uchar(name.at(i));
        const bool plain = byte >= 0x20 && byte != 0x7F && byte != '%' && byte != '/' && (byte < 0x80 || utf8)
                && !(i == 0 && byte == '.');
        if (plain)
            encoded.append(char(byte));
        else
            encoded.append('%').append(QByteArray::number(byte, 16).rightJustified(2, '0').toUpper());
    }
    return QString::fromUtf8(encoded);
}

QByteArray nameFromHostFile(const QString &fileName)
{
    const QByteArray name = QByteArray::fromPercentEncoding(fileName.toUtf8());
    // Only names that come back to the same file name are ours.
    if (name.isEmpty() || hostFileName(name) != fileName)
        return QByteArray();
    return name;
}

} // namespace SpiffsLayout
