// The protocol core's reply steps on their own, as both front ends feed
// them: arrivals in every cut, the bounds a reported capacity sets, and what
// each one-byte answer means.
#include "core/catalogueformat.h"
#include "core/commandformat.h"
#include "core/transferformat.h"
#include "devicebytes.h"

#include <QtTest/QTest>

using namespace CatalogueFormat;
using namespace CommandFormat;
using namespace TransferFormat;
using DeviceBytes::be32;

namespace {

// Feeds reply to a step in arrivals cut after each position in cuts and
// returns what the last arrival said; over stays false until a step ends.
template<typename Step, typename Done>
auto feed(const QByteArray &reply, const QVector<int> &cuts, Step step, Done done)
{
    QByteArray received;
    decltype(step(received)) result{};
    int from = 0;
    QVector<int> ends = cuts;
    ends.append(reply.size());
    for (const int end : std::as_const(ends)) {
        received += reply.mid(from, end - from);
        from = end;
        result = step(received);
        if (done(result))
            break;
    }
    return result;
}

} // namespace

class ReplyStepsTest : public QObject
{
    Q_OBJECT

private slots:
    void listingAgainstCapacity_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<quint32>("capacity");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("entries");
        const QByteArray empty8 = QByteArray(8, '\0');
        QTest::newRow("empty") << be32(0) << 0u << int(ListingStep::Status::Complete) << 0;
        QTest::newRow("longest a page allows") << be32(263) + be32(255) + be32(1) + QByteArray(255, 'n') << 256u
                                               << int(ListingStep::Status::Complete) << 1;
        QTest::newRow("one byte longer") << be32(264) + QByteArray(264, '\0') << 256u
                                         << int(ListingStep::Status::Malformed) << 0;
        QTest::newRow("no page, one file") << be32(8) + empty8 << 255u << int(ListingStep::Status::Malformed) << 0;
        QTest::newRow("two files on two pages") << be32(16) + empty8 + empty8 << 512u
                                                << int(ListingStep::Status::Complete) << 2;
        QTest::newRow("three files on two pages") << be32(24) + empty8 + empty8 + empty8 << 512u
                                                  << int(ListingStep::Status::Malformed) << 2;
        QTest::newRow("entry past the end") << be32(9) + be32(2) + be32(1) + "x" << 4096u
                                            << int(ListingStep::Status::Malformed) << 0;
        QTest::newRow("beyond 16 MiB, any capacity") << be32(16 * 1024 * 1024 + 1) << 0xFFFFFFFFu
                                                     << int(ListingStep::Status::Malformed) << 0;
    }
    void listingAgainstCapacity()
    {
        QFETCH(QByteArray, reply);
        QFETCH(quint32, capacity);
        for (int cut = 1; cut < reply.size(); cut += std::max(1, int(reply.size()) / 17)) {
            qint32 listLength = 0;
            bool started = false;
            bool keptNothing = false;
            const ListingStep step = feed(reply, {cut}, [&](QByteArray &received) -> ListingStep {
                ListingStep s = readListingReply(received, listLength, capacity);
                started = started || s.started;
                keptNothing = received.capacity() == 0 && listLength == 0;
                return s;
            }, [](const ListingStep &s) { return s.status != ListingStep::Status::Waiting; });
            QVERIFY(started);
            QVERIFY2(keptNothing, "a finished listing keeps nothing");
            QTEST(int(step.status), "status");
            QTEST(int(step.entries.size()), "entries");
        }
    }

    void downloadArrivals_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QVector<int>>("cuts");
        QTest::addColumn<quint32>("capacity");
        QTest::addColumn<QVector<int>>("statuses");
        QTest::addColumn<QByteArray>("content");
        using S = DownloadStep::Status;
        QTest::newRow("refused") << QByteArray("d") << QVector<int>{} << 4096u << QVector<int>{int(S::Refused)}
                                 << QByteArray();
        QTest::newRow("size byte by byte, then content")
                << be32(3) + "abc" << QVector<int>{1, 2, 4, 5} << 4096u
                << QVector<int>{int(S::FirstByte), int(S::Waiting), int(S::Waiting), int(S::Receiving), int(S::Complete)}
                << QByteArray("abc");
        QTest::newRow("whole in one arrival, with surplus") << be32(3) + "abcdef" << QVector<int>{} << 4096u
                                                           << QVector<int>{int(S::Complete)} << QByteArray("abc");
        QTest::newRow("empty file") << be32(0) << QVector<int>{} << 4096u << QVector<int>{int(S::Complete)}
                                    << QByteArray();
        // SPIFFS's total leaves out its two spare blocks, which files fill.
        QTest::newRow("the capacity and the spare blocks") << be32(8452) + QByteArray(8452, 'w') << QVector<int>{} << 4u
                                                           << QVector<int>{int(S::Complete)} << QByteArray(8452, 'w');
        QTest::newRow("one byte more than the whole area") << be32(8453) + "vwxyz" << QVector<int>{} << 4u
                                                           << QVector<int>{int(S::BadSize)} << QByteArray();
        QTest::newRow("top bit set") << be32(0x80000000u) << QVector<int>{} << 0xFFFFFFFFu
                                     << QVector<int>{int(S::BadSize)} << QByteArray();
    }
    void downloadArrivals()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QVector<int>, cuts);
        QFETCH(quint32, capacity);
        QFETCH(QVector<int>, statuses);
        QVector<int> seen;
        qint64 transferSize = 0;
        const DownloadStep last = feed(reply, cuts, [&](QByteArray &received) -> DownloadStep {
            DownloadStep s = readDownloadReply(received, transferSize, capacity);
            seen << int(s.status);
            return s;
        }, [](const DownloadStep &s) {
            return s.status == DownloadStep::Status::Complete || s.status == DownloadStep::Status::Refused
                   || s.status == DownloadStep::Status::BadSize;
        });
        QCOMPARE(seen, statuses);
        QTEST(last.content, "content");
        QCOMPARE(transferSize, qint64(0));
    }

    // The same replies read as a stream: the pieces make the same content,
    // the reply ends the same way, and nothing of the file stays behind
    // between arrivals.
    void streamedDownloadMatchesWhole_data() { downloadArrivals_data(); }
    void streamedDownloadMatchesWhole()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QVector<int>, cuts);
        QFETCH(quint32, capacity);
        QFETCH(QVector<int>, statuses);
        QByteArray pieces;
        qint64 transferSize = 0;
        qint64 delivered = 0;
        const DownloadStep last = feed(reply, cuts, [&](QByteArray &received) -> DownloadStep {
            DownloadStep s = readDownloadStream(received, transferSize, delivered, capacity);
            pieces += s.content;
            if (s.status == DownloadStep::Status::Receiving)
                [&] { QVERIFY(received.isEmpty()); }();
            return s;
        }, [](const DownloadStep &s) {
            return s.status == DownloadStep::Status::Complete || s.status == DownloadStep::Status::Refused
                   || s.status == DownloadStep::Status::BadSize;
        });
        QCOMPARE(int(last.status), statuses.constLast());
        QTEST(pieces, "content");
        QCOMPARE(transferSize, qint64(0));
    }

    void oneByteAnswers_data()
    {
        QTest::addColumn<char>("command");
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<int>("answer");
        QTest::newRow("upload A") << 'U' << QByteArray("A") << int(UploadAnswer::Ready);
        QTest::newRow("upload u with noise") << 'U' << QByteArray("u\r\n") << int(UploadAnswer::Finished);
        QTest::newRow("upload a") << 'U' << QByteArray("a") << int(UploadAnswer::Stopped);
        QTest::newRow("upload other") << 'U' << QByteArray("?") << int(UploadAnswer::Unknown);
        QTest::newRow("upload nothing") << 'U' << QByteArray() << int(UploadAnswer::None);
        QTest::newRow("remove R") << 'R' << QByteArray("R") << int(RemoveAnswer::Removed);
        QTest::newRow("remove r") << 'R' << QByteArray("r") << int(RemoveAnswer::Refused);
        QTest::newRow("remove other") << 'R' << QByteArray("x") << int(RemoveAnswer::Ignored);
        QTest::newRow("format E") << 'E' << QByteArray("E") << int(FormatAnswer::Formatted);
        QTest::newRow("format other") << 'E' << QByteArray("e") << int(FormatAnswer::Ignored);
        QTest::newRow("execute X") << 'X' << QByteArray("X") << int(ExecuteAnswer::Opened);
        QTest::newRow("execute x") << 'X' << QByteArray("x") << int(ExecuteAnswer::Unsupported);
        QTest::newRow("execute two bytes") << 'X' << QByteArray("XX") << int(ExecuteAnswer::Unclear);
    }
    void oneByteAnswers()
    {
        QFETCH(char, command);
        QFETCH(QByteArray, received);
        int answer = -1;
        switch (command) {
        case 'U': answer = int(takeUploadAnswer(received)); break;
        case 'R': answer = int(takeRemoveAnswer(received)); break;
        case 'E': answer = int(takeFormatAnswer(received)); break;
        case 'X': answer = int(takeExecuteAnswer(received)); break;
        }
        QTEST(answer, "answer");
        QVERIFY(received.isEmpty()); // whatever came with an answer is dropped with it
    }

    void uploadFrames_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QVector<int>>("chunks");
        QTest::newRow("empty") << 0 << QVector<int>{};
        QTest::newRow("31") << 31 << QVector<int>{31};
        QTest::newRow("32") << 32 << QVector<int>{32};
        QTest::newRow("33") << 33 << QVector<int>{32, 1};
        QTest::newRow("100") << 100 << QVector<int>{32, 32, 32, 4};
    }
    void uploadFrames()
    {
        QFETCH(int, size);
        QFETCH(QVector<int>, chunks);
        QByteArray content(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            content[i] = char(i);
        qint64 offset = 0;
        QByteArray sent;
        for (const int chunk : std::as_const(chunks)) {
            const QByteArray frame = nextUploadFrame(content, offset);
            QCOMPARE(frame, DeviceBytes::frame('U', char(chunk) + content.mid(int(sent.size()), chunk)));
            sent += content.mid(int(sent.size()), chunk);
        }
        QCOMPARE(nextUploadFrame(content, offset), DeviceBytes::frame('u'));
        QCOMPARE(sent, content);
        QCOMPARE(offset, qint64(size));
    }
};

QTEST_MAIN(ReplyStepsTest)
#include "tst_replysteps.moc"
