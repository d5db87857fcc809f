#include "transfer/download.h"

#include "core/catalogueformat.h"
#include "catalogue/filelisting.h"
#include "link/commandguard.h"
#include "link/linkstate.h"
#include "link/operation.h"
#include "link/replydispatch.h"
#include "core/localsave.h"
#include "core/transferformat.h"
#include "ui/mainwindowui.h"

#include <QtCore/QDir>
#include <QtWidgets/QFileDialog>

using namespace TransferFormat;

namespace {

void endDownload(QStatusBar *statusBar, const QString &message)
{
    linkState().currentOperation = Operation::Idle;
    statusBar->showMessage(message, 0);
}

// The target file is replaced only by a complete new one, and a failure
// says why after the usual words: "PC: can't save downloaded file: no space
// left on device".
QString savedFileMessage(const QByteArray &content)
{
    const QString problem = LocalSave::replace(linkState().transferFile.fileName(), content);
    return problem.isEmpty() ? QStringLiteral("downloading complete")
                             : QStringLiteral("PC: can't save downloaded file: ") + problem;
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
    link.downloadName = *deviceName;
    link.downloadListedSize = selectedFileSize(ui.tableWidget);
    startOperation(Operation::Download, downloadRequest(*deviceName));
}

void handleDownloadReply(MainWindowUi &ui)
{
    LinkState &link = linkState();
    const DownloadStep step = readDownloadReply(link.rxBuffer, link.transferSize, link.totalBytes);
    switch (step.status) {
    case DownloadStep::Status::Waiting:
        break;
    case DownloadStep::Status::FirstByte:
        ui.statusbar->showMessage(QStringLiteral("prepare to download..."), 0);
        break;
    case DownloadStep::Status::Receiving:
        ui.statusbar->showMessage(QStringLiteral("downloaded %1%").arg(step.percent), 0);
        break;
    case DownloadStep::Status::Complete:
        if (!step.content.isEmpty())
            ui.statusbar->showMessage(QStringLiteral("downloaded %1%").arg(step.percent), 0);
        endDownload(ui.statusbar, savedFileMessage(step.content));
        break;
    case DownloadStep::Status::Refused:
        endDownload(ui.statusbar, QStringLiteral("ESP32: can't open the file"));
        break;
    case DownloadStep::Status::BadSize:
        endDownload(ui.statusbar, QStringLiteral("ESP32: bad file size"));
        break;
    }
}
