#include "core/wireformat.h"

#include <QtTest/QTest>

using namespace WireFormat;

class WireFormatTest : public QObject
{
    Q_OBJECT

private slots:
    void bigEndianFields_data()
    {
        QTest::addColumn<quint32>("value");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("zero") << 0u << QByteArray::fromHex("00000000");
        QTest::newRow("one") << 1u << QByteArray::fromHex("00000001");
        QTest::newRow("order") << 0x01020304u << QByteArray::fromHex("01020304");
        QTest::newRow("high bytes unsigned") << 0x0012F800u << QByteArray::fromHex("0012f800");
        QTest::newRow("sign bit") << 0x80000000u << QByteArray::fromHex("80000000");
        QTest::newRow("all ones") << 0xFFFFFFFFu << QByteArray::fromHex("ffffffff");
    }
    void bigEndianFields()
    {
        QFETCH(quint32, value);
        QFETCH(QByteArray, bytes);
        QCOMPARE(bigEndian32(value), bytes);
        QCOMPARE(readBigEndian32(bytes), value);
        QCOMPARE(readBigEndian32(QByteArray("xyz") + bytes + "tail", 3), value);
    }

    void framesAreByteExact()
    {
        QCOMPARE(commandFrame(Letter::Memory), QByteArray("K-Wanderer______M"));
        QCOMPARE(commandFrame(Letter::Reboot).size(), 17);
        QCOMPARE(commandFrame(Letter::UploadEnd), QByteArray("K-Wanderer______u"));
        const QByteArray download = commandFrame(Letter::Download, devicePathField(devicePath("a.txt")));
        QCOMPARE(download, QByteArray("K-Wanderer______D") + QByteArray::fromHex("00000006") + "/a.txt");
        QCOMPARE(download.size(), 27);
    }

    void pathFieldCountsBytes()
    {
        // "é" is two bytes in UTF-8: the length says what follows on the wire.
        const QByteArray name = QByteArray("caf\xc3\xa9.txt");
        QCOMPARE(devicePathField(devicePath(name)), QByteArray::fromHex("0000000a") + "/" + name);
        // A raw byte that is not UTF-8 travels as it came.
        QCOMPARE(devicePathField(devicePath("\xff")), QByteArray::fromHex("00000002") + "/\xff");
        QCOMPARE(devicePathField(devicePath(QByteArray())), QByteArray::fromHex("00000001") + "/");
    }
};

QTEST_APPLESS_MAIN(WireFormatTest)
#include "tst_wireformat.moc"
