// Memory report and file listing, answered by a scripted device on a
// pseudo-terminal.
#include "catalogue/filelisting.h"
#include "core/transferformat.h"
#include "link/linkstate.h"
#include "link/operation.h"
#include "windowharness.h"

#include <QtGui/QIcon>
#include <QtTest/QTest>
#include <QtWidgets/QHeaderView>
#include <QtWidgets/QLabel>
#include <QtWidgets/QMessageBox>
#include <QtWidgets/QProgressBar>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QStatusBar>
#include <QtWidgets/QTableWidget>

using namespace DeviceBytes;

namespace {
const QVector<FileEntry> threeFiles = {{"readme.txt", 120}, {"Song.MP3", 4096}, {"dir/page.html", 0}};

bool isIdle()
{
    return linkState().currentOperation == Operation::Idle;
}

QImage iconImage(const QTableWidgetItem *item)
{
    return item->data(Qt::DecorationRole).value<QIcon>().pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
}
} // namespace

class CatalogueTest : public QObject
{
    Q_OBJECT

private slots:
    void memoryReplyInOnePiece()
    {
        WindowHarness harness;
        QVERIFY(harness.connectToDevice());
        QVERIFY(harness.answerMemory(4096, 1024));
        QCOMPARE(harness.label("totalMemory")->text(), QStringLiteral("4096"));
        QCOMPARE(harness.label("availableMemory")->text(), QStringLiteral("3072"));
        QCOMPARE(harness.gauge()->minimum(), 0);
        QCOMPARE(harness.gauge()->maximum(), 4096);
        QCOMPARE(harness.gauge()->value(), 1024);
        QCOMPARE(linkState().totalBytes, 4096u);
        QCOMPARE(linkState().usedBytes, 1024u);
        QCOMPARE(linkState().currentOperation, Operation::List);
        QCOMPARE(harness.statusText(), QString());
    }

    void memoryReplyInThreeThenFive()
    {
        WindowHarness harness;
        QVERIFY(harness.connectToDevice());
        const QByteArray reply = QByteArray::fromHex("0012f800000000ff");
        harness.device.deliver(reply.left(3));
        QVERIFY(harness.device.staysQuiet());
        QCOMPARE(harness.label("totalMemory")->text(), QStringLiteral("0"));
        QCOMPARE(linkState().currentOperation, Operation::Memory);
        harness.device.deliver(reply.mid(3));
        QCOMPARE(harness.device.readExactly(17), frame('L'));
        QCOMPARE(harness.label("totalMemory")->text(), QStringLiteral("1243136"));
        QCOMPARE(harness.label("availableMemory")->text(), QStringLiteral("1242881"));
    }

    void memorySurplusIsDroppedNotListed()
    {
        WindowHarness harness;
        QVERIFY(harness.connectToDevice());
        // The surplus looks like an empty listing; it must not be taken as one.
        harness.device.deliver(memoryReply(1000, 999) + QByteArray(4, '\0'));
        QCOMPARE(harness.device.readExactly(17), frame('L'));
        QCOMPARE(harness.label("availableMemory")->text(), QStringLiteral("1"));
        QCOMPARE(harness.gauge()->value(), 999);
        QCOMPARE(linkState().currentOperation, Operation::List);
        QVERIFY(linkState().rxBuffer.isEmpty());
        harness.device.deliver(listingReply({{"a.txt", 5}}));
        QCOMPARE(harness.tableNames(), QStringList{QStringLiteral("a.txt")});
    }

    // More used than there is, or more than any receiver's flash: refused
    // as a bad file list is, where once 4294967295 bytes showed as free.
    // Nothing is shown of it, no listing is asked on it, and an upload is
    // not measured against it.
    void memoryReportThatDoesNotFit_data()
    {
        QTest::addColumn<quint32>("total");
        QTest::addColumn<quint32>("used");
        QTest::newRow("more used than SPIFFS's spare blocks explain") << 1000u << 1000u + 8449u;
        QTest::newRow("beyond the gauge's range") << 4000000000u << 1000000000u;
        QTest::newRow("beyond any flash") << 16777217u << 0u;
    }
    void memoryReportThatDoesNotFit()
    {
        QFETCH(quint32, total);
        QFETCH(quint32, used);
        WindowHarness harness;
        QVERIFY(harness.connectWithFiles({{"a.txt", 5}}, 4096, 1024));
        // A change to the files asks again: the figures that come back do not fit.
        QVERIFY(harness.selectFile(QStringLiteral("a.txt")));
        harness.answerer->queueBoxAnswer(QMessageBox::Yes);
        harness.button("pushButton_4")->click();
        QVERIFY(harness.device.readExactly(17 + 4 + 6).startsWith(frame('R')));
        harness.device.deliver("R");
        QCOMPARE(harness.device.readExactly(17), frame('M'));
        harness.device.deliver(memoryReply(total, used));

        QTRY_VERIFY(isIdle());
        QCOMPARE(harness.statusText(), QStringLiteral("ESP32: bad memory report"));
        QVERIFY(harness.device.staysQuiet());
        QCOMPARE(harness.label("totalMemory")->text(), QStringLiteral("0"));
        QCOMPARE(harness.label("availableMemory")->text(), QStringLiteral("0"));
        QCOMPARE(harness.gauge()->value(), 0);
        QCOMPARE(linkState().totalBytes, 0u);
        QCOMPARE(linkState().usedBytes, 0u);
        QVERIFY(linkState().rxBuffer.isEmpty());
    }

    void zeroCapacity()
    {
        WindowHarness harness;
        QVERIFY(harness.connectToDevice());
        QVERIFY(harness.answerMemory(0, 0));
        QCOMPARE(harness.gauge()->maximum(), 0);
        QCOMPARE(harness.label("availableMemory")->text(), QStringLiteral("0"));
    }

    // SPIFFS counts its spare blocks as used but not in its total: a full
    // receiver is shown full, its files listed, and no room is left.
    void fullReceiverReportsMoreUsedThanItsTotal()
    {
        WindowHarness harness;
        QVERIFY(harness.connectWithFiles(threeFiles, 1318001, 1318001 + 8192));
        QCOMPARE(harness.tableNames().size(), threeFiles.size());
        QCOMPARE(harness.label("totalMemory")->text(), QStringLiteral("1318001"));
        QCOMPARE(harness.label("availableMemory")->text(), QStringLiteral("0"));
        QCOMPARE(harness.gauge()->value(), harness.gauge()->maximum());
        QCOMPARE(linkState().usedBytes, 1318001u + 8192u);
        QVERIFY(!TransferFormat::fitsInFreeSpace(1, {linkState().totalBytes, linkState().usedBytes}));
    }

    void listingRowsIconsAndNames()
    {
        WindowHarness harness;
        QVERIFY(harness.connectWithFiles(threeFiles + QVector<FileEntry>{{"big.bin", 0xFFFFFFFFu}}));
        QTableWidget *table = harness.table();
        QCOMPARE(table->rowCount(), 4);
        QCOMPARE(table->columnCount(), 3);
        QCOMPARE(harness.tableNames(), (QStringList{QStringLiteral("readme.txt"), QStringLiteral("Song.MP3"),
                                                    QStringLiteral("dir/page.html"), QStringLiteral("big.bin")}));
        QCOMPARE(table->item(0, 2)->text(), QStringLiteral("120"));
        QCOMPARE(table->item(3, 2)->text(), QStringLiteral("4294967295"));
        QCOMPARE(table->item(0, 0)->text(), QString());
        const char *icons[] = {"text", "music", "world", "unknown"};
        for (int row = 0; row < 4; ++row) {
            const QImage expected = QImage(QStringLiteral(":/new/icons/%1.png").arg(QLatin1String(icons[row])))
                                            .convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(iconImage(table->item(row, 0)), expected);
        }
        QVERIFY(isIdle());
        QVERIFY(linkState().rxBuffer.isEmpty());
        QCOMPARE(linkState().listLength, 0);
    }

    void listingSplitAtEveryPosition()
    {
        const QByteArray reply = listingReply(threeFiles);
        for (int cut = 1; cut < reply.size(); ++cut) {
            WindowHarness harness;
            QVERIFY(harness.connectToDevice());
            QVERIFY(harness.answerMemory(4096, 0));
            harness.device.deliver(reply.left(cut));
            QVERIFY2(!isIdle(), qPrintable(QString::number(cut)));
            if (cut >= 4)
                QCOMPARE(harness.table()->rowCount(), 0);
            harness.device.deliver(reply.mid(cut));
            QVERIFY2(isIdle(), qPrintable(QString::number(cut)));
            QCOMPARE(harness.tableNames().size(), 3);
            QCOMPARE(harness.tableNames().at(2), QStringLiteral("dir/page.html"));
        }
    }

    void listingByteByByte()
    {
        WindowHarness harness;
        QVERIFY(harness.connectToDevice());
        QVERIFY(harness.answerMemory(4096, 0));
        const QByteArray reply = listingReply(threeFiles);
        for (char byte : reply)
            harness.device.deliver(QByteArray(1, byte));
        QCOMPARE(harness.tableNames().size(), 3);
        QVERIFY(isIdle());
    }

    void listingWithSurplusCompletes()
    {
        WindowHarness harness;
        QVERIFY(harness.connectToDevice());
        QVERIFY(harness.answerMemory(4096, 0));
        harness.device.deliver(listingReply({{"a.txt", 5}}) + "surplus");
        QCOMPARE(harness.tableNames(), QStringList{QStringLiteral("a.txt")});
        QVERIFY(isIdle());
        QVERIFY(linkState().rxBuffer.isEmpty());
    }

    void emptyListing()
    {
        WindowHarness harness;
        QVERIFY(harness.connectWithFiles({{"a.txt", 5}}));
        harness.button("pushButton_3")->click();
        QVERIFY(harness.connectWithFiles({}));
        QCOMPARE(harness.table()->rowCount(), 0);
        QVERIFY(!harness.table()->horizontalHeaderItem(1));
        QVERIFY(isIdle());
    }

    void prefixEmptiesTableBeforeEntries()
    {
        WindowHarness harness;
        QVERIFY(harness.connectWithFiles(threeFiles));
        harness.device.readAvailable();
        linkState().currentOperation.clear();
        // A second listing, as after a change on the device.
        harness.statusBar()->showMessage(QStringLiteral("removing complete"));
        requestListing();
        QCOMPARE(harness.device.readExactly(17), frame('L'));
        const QByteArray reply = listingReply({{"new.txt", 1}});
        harness.device.deliver(reply.left(4));
        QCOMPARE(harness.table()->rowCount(), 0);
        harness.device.deliver(reply.mid(4, 5));
        QCOMPARE(harness.table()->rowCount(), 0);
        harness.device.deliver(reply.mid(9));
        QCOMPARE(harness.tableNames(), QStringList{QStringLiteral("new.txt")});
        QCOMPARE(harness.statusText(), QStringLiteral("removing complete"));
    }

    void malformedListings_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("length with the sign bit") << QByteArray::fromHex("80000000") + "xxxx" << QStringList();
        QTest::newRow("largest length") << QByteArray::fromHex("ffffffff") << QStringList();
        QTest::newRow("beyond any device") << be32(16 * 1024 * 1024 + 1) << QStringList();
        const QByteArray whole = listingEntries({{"a.txt", 5}});
        const QByteArray runsPast = be32(3) + be32(1) + "ab"; // name of 3, only 2 there
        QTest::newRow("name runs past the end") << be32(quint32(whole.size() + runsPast.size())) + whole + runsPast
                                                << QStringList{QStringLiteral("a.txt")};
        QTest::newRow("header cut short") << be32(quint32(whole.size() + 5)) + whole + QByteArray(5, '\0')
                                          << QStringList{QStringLiteral("a.txt")};
    }
    void malformedListings()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QStringList, rows);
        WindowHarness harness;
        QVERIFY(harness.connectToDevice());
        QVERIFY(harness.answerMemory(4096, 0));
        harness.device.deliver(reply);
        QVERIFY(isIdle());
        QCOMPARE(harness.tableNames(), rows);
        QCOMPARE(harness.statusText(), QStringLiteral("ESP32: bad file list"));
        QVERIFY(linkState().rxBuffer.isEmpty());
        QCOMPARE(linkState().listLength, 0);
        QVERIFY(harness.device.staysQuiet());
    }

    void listingMemoryStaysBounded()
    {
        WindowHarness harness;
        QVERIFY(harness.connectToDevice());
        QVERIFY(harness.answerMemory(4096, 0));
        const QByteArray entries = listingEntries({{"a.txt", 5}});
        harness.device.deliver(be32(quint32(entries.size())) + entries.left(3));
        // A device that keeps talking: the listing ends at its announced size.
        harness.device.deliver(entries.mid(3) + QByteArray(100000, 'x'));
        QVERIFY(isIdle());
        QVERIFY(linkState().rxBuffer.isEmpty());
        QCOMPARE(harness.tableNames(), QStringList{QStringLiteral("a.txt")});
    }

    void namesBeyondAsciiKeepTheirBytes()
    {
        WindowHarness harness;
        const QByteArray utf8 = "r\xc3\xa9sum\xc3\xa9.txt";
        const QByteArray latin1 = "caf\xe9.txt";
        QVERIFY(harness.connectWithFiles({{utf8, 1}, {latin1, 2}}));
        QCOMPARE(harness.tableNames(),
                 (QStringList{QString::fromUtf8("résumé.txt"), QString::fromLatin1("caf\xe9.txt")}));
        QVERIFY(harness.selectFile(QString::fromLatin1("caf\xe9.txt")));
        QCOMPARE(selectedDeviceName(harness.table()), std::optional<QByteArray>(latin1));
        QVERIFY(harness.selectFile(QString::fromUtf8("résumé.txt")));
        QCOMPARE(selectedDeviceName(harness.table()), std::optional<QByteArray>(utf8));
    }

    void selectionWithoutSelectedItems()
    {
        WindowHarness harness;
        QVERIFY(harness.connectWithFiles(threeFiles));
        QCOMPARE(selectedDeviceName(harness.table()), std::nullopt);
        QVERIFY(harness.selectFile(QStringLiteral("Song.MP3")));
        QCOMPARE(selectedDeviceName(harness.table()), std::optional<QByteArray>("Song.MP3"));
        // Control-click deselects the row but leaves it current.
        QTableWidget *table = harness.table();
        const QRect cell = table->visualRect(table->model()->index(1, 1));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::ControlModifier, cell.center());
        QCOMPARE(table->currentRow(), 1);
        QCOMPARE(table->selectedItems().size(), 0);
        QCOMPARE(selectedDeviceName(table), std::nullopt);
    }
};

QTEST_MAIN(CatalogueTest)
#include "tst_catalogue.moc"
