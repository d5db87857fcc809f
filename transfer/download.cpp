#include "transfer/download.h"

#include "catalogue/catalogueformat.h"
#include "catalogue/filelisting.h"
#include "link/commandguard.h"
#include "link/linkstate.h"
#include "link/operation.h"
#include "link/replydispatch.h"
#include "link/wireformat.h"
#include "transfer/transferformat.h"
#include "ui/mainwindowui.h"

#include <QtCore/QDir>
#include <QtWidgets/QFileDialog>

#include <algorithm>

using namespace TransferFormat;

namespace {

// Bytes reserved up front for the content; a larger file grows the buffer as
// it arrives, so a bogus size cannot claim memory the device never sends.
constexpr int ReserveLimit = 16 * 1024 * 1024;

void endDownload(QStatusBar *statusBar, const QString &message)
{
    LinkState &link = linkState();
    link.rxBuffer.clear();
    link.rxBuffer.squeeze();
    link.currentOperation = Operation::Idle;
    link.transferSize = 0;
    statusBar->showMessage(message, 0);
}

// The target file is replaced only by a complete new one: the content goes
// to a temporary file beside it, renamed over it once written.
bool saveDownloadedFile(const QByteArray &content)
{
    QSaveFile &file = linkState().transferFile;
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(content) != content.size()) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return file.commit();
}

void finishDownload(QStatusBar *statusBar)
{
    const bool saved = saveDownloadedFile(linkState().rxBuffer);
    endDownload(statusBar, saved ? QStringLiteral("downloading complete")
                                 : QStringLiteral("PC: can't save downloaded file"));
}

} // namespace

void startDownload(MainWindowUi &ui)
{
    if (!commandGuardPasses(ui.statusbar, BusyMessage::NamingOperation))
        return;
    const std::optional<QByteArray> deviceName = deviceNameForCommand(ui);
    if (!deviceName)
        return;

    const QString folder =
            QFileDialog::getExistingDirectory(nullptr, QString(), QString(), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) {
        ui.statusbar->showMessage(QStringLiteral("PC: empty downloading path"), 0);
        return;
    }
    // The link may have gone while the dialog was open.
    if (!commandGuardPasses(ui.statusbar, BusyMessage::NamingOperation))
        return;

    const QString localName = localFileName(CatalogueFormat::deviceNameText(*deviceName));
    const QString localPath = QDir(folder).filePath(localName);
    ui.statusbar->showMessage(localPath, 0);
    LinkState &link = linkState();
    link.transferFile.setFileName(localPath);
    ui.statusbar->showMessage(QStringLiteral("downloading, please wait..."), 0);

    link.rxBuffer.clear();
    link.transferSize = 0;
    startOperation(Operation::Download,
                   WireFormat::commandFrame(WireFormat::Letter::Download,
                                            WireFormat::devicePathField(WireFormat::devicePath(*deviceName))));
}

void handleDownloadReply(MainWindowUi &ui)
{
    LinkState &link = linkState();
    QByteArray &rx = link.rxBuffer;

    if (link.transferSize == 0) {
        // "d" is the refusal; no size header can start with it, since no
        // receiver holds a file of 1.6 GB.
        if (rx.startsWith('d')) {
            endDownload(ui.statusbar, QStringLiteral("ESP32: can't open the file"));
            return;
        }
        if (rx.size() < DownloadHeaderSize) {
            if (rx.size() == 1)
                ui.statusbar->showMessage(QStringLiteral("prepare to download..."), 0);
            return;
        }
        const quint32 announced = WireFormat::readBigEndian32(rx, 0);
        if (announced > MaxDownloadBytes) {
            endDownload(ui.statusbar, QStringLiteral("ESP32: bad file size"));
            return;
        }
        rx.remove(0, DownloadHeaderSize);
        if (announced == 0) {
            rx.clear();
            finishDownload(ui.statusbar);
            return;
        }
        link.transferSize = announced;
        rx.reserve(int(std::min<quint32>(announced, ReserveLimit)));
        // Content that came with the header counts now; a header alone
        // shows nothing yet.
        if (rx.isEmpty())
            return;
    }

    ui.statusbar->showMessage(QStringLiteral("downloaded %1%").arg(downloadPercent(rx.size(), link.transferSize)),
                              0);
    if (rx.size() < link.transferSize)
        return;
    rx.truncate(int(link.transferSize)); // what follows the announced size is not the file's
    finishDownload(ui.statusbar);
}
