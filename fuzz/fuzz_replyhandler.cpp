// The whole reply handler, with the window's widgets and a real download
// folder: the first input byte picks the operation in progress, the next four
// the capacity of the last memory report, the rest is the device's byte
// stream, cut into arrivals at points the input chooses. fuzz_exchanges
// covers the reply steps alone; this one checks what the window does with
// them, down to the file on disk.
//
// Invariants: no crash or sanitizer report; after every arrival the receive
// buffer holds less than the reply its operation still awaits, and no
// accepted size exceeds what the capacity allows (its whole area); the download folder holds
// only the old file, either untouched or replaced by exactly the content the
// stream announced, never a partial or temporary file.
#include "app/replytable.h"
#include "core/catalogueformat.h"
#include "fuzzcheck.h"
#include "link/linkstate.h"
#include "link/operation.h"
#include "core/wireformat.h"
#include "ui/mainwindowui.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>
#include <QtWidgets/QApplication>
#include <QtWidgets/QMainWindow>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include <dirent.h>

namespace {

const QByteArray OldContent = "old content of the local file";

struct Harness
{
    std::unique_ptr<QApplication> application;
    std::unique_ptr<QMainWindow> window;
    MainWindowUi ui;
    ReplyTable table;
    std::unique_ptr<QTemporaryDir> folder;
    QString target;
    bool oldIntact = false; // the target holds OldContent, as the last run left it
};

Harness *harness = nullptr;

void dropMessages(QtMsgType, const QMessageLogContext &, const QString &)
{
}

// Sets the register as the operation's button or branch would have left it.
void startOperation(quint8 choice)
{
    LinkState &link = linkState();
    static const QString operations[] = {Operation::Reboot, Operation::Download, Operation::Upload,
                                         Operation::Memory, Operation::List,     Operation::Remove,
                                         Operation::Erase,  Operation::Execute};
    link.currentOperation = operations[choice % 8];
    if (link.currentOperation == Operation::Download)
        link.transferFile.setFileName(harness->target);
    if (link.currentOperation == Operation::Upload) {
        link.uploadBuffer = QByteArray(70, 'u');
        link.transferSize = link.uploadBuffer.size();
    }
}

// The most the buffer may hold between arrivals without the operation
// having acted on it.
qint64 largestPendingReply()
{
    const LinkState &link = linkState();
    const QString &operation = link.currentOperation;
    if (operation == Operation::Memory)
        return 7;
    if (operation == Operation::List)
        return link.listLength == 0 ? 3 : link.listLength - 1;
    if (operation == Operation::Download)
        return link.transferSize == 0 ? 3 : link.transferSize - 1;
    return 0;
}

// What the download must have written, if the stream holds a whole file.
std::optional<QByteArray> announcedContent(const QByteArray &stream)
{
    if (stream.size() < 4 || stream.startsWith('d'))
        return std::nullopt;
    const quint32 size = WireFormat::readBigEndian32(stream, 0);
    if (size > CatalogueFormat::wholeAreaBytes(linkState().totalBytes) || stream.size() - 4 < qint64(size))
        return std::nullopt;
    return stream.mid(4, int(size));
}

// The download folder's entries, every kind and hidden ones too. Read with
// readdir: QDir's listing builds more objects than the rest of a run.
QByteArrayList folderEntries()
{
    QByteArrayList entries;
    DIR *folder = ::opendir(QFile::encodeName(harness->folder->path()).constData());
    FUZZ_CHECK(folder);
    while (const dirent *entry = ::readdir(folder)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            entries << name;
    }
    ::closedir(folder);
    return entries;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(dropMessages);
    static int argc = 1;
    static char name[] = "fuzz_replyhandler";
    static char *argv[] = {name, nullptr};
    harness = new Harness;
    harness->application = std::make_unique<QApplication>(argc, argv);
    harness->window = std::make_unique<QMainWindow>();
    harness->ui.setupUi(harness->window.get());
    harness->ui.tableWidget->setColumnCount(3);
    harness->table = makeReplyTable(harness->ui);
    // The folder in memory where there is one: a completed download syncs
    // the file and its folder to disk, which on a disk costs more than all
    // the rest of a run.
    const QString memory = QStringLiteral("/dev/shm");
    harness->folder = QDir(memory).exists() ? std::make_unique<QTemporaryDir>(memory + QStringLiteral("/fuzz_replyhandler-XXXXXX"))
                                            : std::make_unique<QTemporaryDir>();
    FUZZ_CHECK(harness->folder->isValid());
    harness->target = QDir(harness->folder->path()).filePath(QStringLiteral("old.bin"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 5)
        return 0;
    linkState().reset();
    linkState().totalBytes = WireFormat::readBigEndian32(QByteArray::fromRawData(reinterpret_cast<const char *>(data + 1), 4));
    if (!harness->oldIntact) {
        QFile old(harness->target);
        FUZZ_CHECK(old.open(QIODevice::WriteOnly) && old.write(OldContent) == OldContent.size());
        harness->oldIntact = true;
    }
    startOperation(data[0]);
    const bool downloading = linkState().currentOperation == Operation::Download;

    QByteArray stream;
    size_t pos = 5;
    while (pos < size) {
        const size_t length = std::min<size_t>(data[pos] % 48 + 1, size - pos - 1);
        ++pos;
        const QByteArray arrival(reinterpret_cast<const char *>(data + pos), int(length));
        pos += length;
        stream += arrival;
        onBytesArrived(arrival, harness->table);
        const LinkState &link = linkState();
        FUZZ_CHECK(link.rxBuffer.size() <= largestPendingReply());
        FUZZ_CHECK(quint32(link.listLength) <= CatalogueFormat::maxListingBytes(link.totalBytes));
        if (link.currentOperation == Operation::Download)
            FUZZ_CHECK(quint64(link.transferSize) <= CatalogueFormat::wholeAreaBytes(link.totalBytes));
    }

    FUZZ_CHECK(folderEntries() == QByteArrayList{"old.bin"});
    QFile result(harness->target);
    FUZZ_CHECK(result.open(QIODevice::ReadOnly));
    const QByteArray written = result.readAll();
    harness->oldIntact = written == OldContent;
    if (!harness->oldIntact) {
        const std::optional<QByteArray> expected = announcedContent(stream);
        FUZZ_CHECK(downloading && expected && written == *expected);
    }
    return 0;
}
