#include "catalogue/filelisting.h"

#include "core/catalogueformat.h"
#include "link/commandguard.h"
#include "link/linkstate.h"
#include "link/operation.h"
#include "link/replydispatch.h"
#include "ui/mainwindowui.h"

#include <QtCore/QHash>
#include <QtGui/QIcon>
#include <QtWidgets/QHeaderView>

using namespace CatalogueFormat;

namespace {

void appendRows(QTableWidget *table, const QVector<ListingEntry> &entries)
{
    if (entries.isEmpty())
        return;
    QHash<QString, QIcon> icons; // the same seven icons serve every row
    int row = table->rowCount();
    table->setRowCount(row + entries.size());
    for (const ListingEntry &entry : entries) {
        const QString name = deviceNameText(entry.name);
        const QString iconPath = iconPathForType(fileExtension(name));
        auto icon = icons.find(iconPath);
        if (icon == icons.end())
            icon = icons.insert(iconPath, QIcon(iconPath));

        auto *iconItem = new QTableWidgetItem;
        iconItem->setData(Qt::DecorationRole, *icon);
        table->setItem(row, TypeColumn, iconItem);
        auto *nameItem = new QTableWidgetItem(name);
        nameItem->setData(DeviceNameRole, entry.name);
        table->setItem(row, NameColumn, nameItem);
        table->setItem(row, SizeColumn, new QTableWidgetItem(QString::number(entry.size, 10)));
        ++row;
    }
    table->setHorizontalHeaderLabels({QString(), QStringLiteral("Name"), QStringLiteral("Size, Bytes")});
    table->verticalHeader()->hide();
}

} // namespace

void requestListing()
{
    // A listing cut short earlier must not be measured against.
    linkState().listLength = 0;
    startOperation(Operation::List, listingRequest());
}

void handleListingReply(MainWindowUi &ui)
{
    LinkState &link = linkState();
    ListingStep step = readListingReply(link.rxBuffer, link.listLength, link.totalBytes);
    if (step.started) {
        ui.tableWidget->setRowCount(0);
        ui.tableWidget->clear();
    }
    if (step.status == ListingStep::Status::Waiting)
        return;
    appendRows(ui.tableWidget, step.entries);
    link.currentOperation = Operation::Idle;
    if (step.status == ListingStep::Status::Malformed)
        ui.statusbar->showMessage(QStringLiteral("ESP32: bad file list"), 0);
}

QString iconPathForType(const QString &type)
{
    static const QHash<QString, QString> pathByType = {
        {QStringLiteral("txt"), QStringLiteral(":/new/icons/text.png")},
        {QStringLiteral("bmp"), QStringLiteral(":/new/icons/picture.png")},
        {QStringLiteral("jpg"), QStringLiteral(":/new/icons/picture.png")},
        {QStringLiteral("png"), QStringLiteral(":/new/icons/picture.png")},
        {QStringLiteral("wav"), QStringLiteral(":/new/icons/music.png")},
        {QStringLiteral("mp3"), QStringLiteral(":/new/icons/music.png")},
        {QStringLiteral("mid"), QStringLiteral(":/new/icons/music.png")},
        {QStringLiteral("ini"), QStringLiteral(":/new/icons/engine.png")},
        {QStringLiteral("js"), QStringLiteral(":/new/icons/engine.png")},
        {QStringLiteral("css"), QStringLiteral(":/new/icons/engine.png")},
        {QStringLiteral("xml"), QStringLiteral(":/new/icons/engine.png")},
        {QStringLiteral("html"), QStringLiteral(":/new/icons/world.png")},
        {QStringLiteral("htm"), QStringLiteral(":/new/icons/world.png")},
        {QStringLiteral("wifi"), QStringLiteral(":/new/icons/wifi.png")},
    };
    return pathByType.value(type, QStringLiteral(":/new/icons/unknown.png"));
}

std::optional<QByteArray> selectedDeviceName(const QTableWidget *table)
{
    if (table->currentRow() < 0)
        return std::nullopt;
    const QList<QTableWidgetItem *> selected = table->selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    const QTableWidgetItem *nameItem = table->item(selected.first()->row(), NameColumn);
    if (!nameItem)
        return std::nullopt;
    const QVariant deviceName = nameItem->data(DeviceNameRole);
    return deviceName.isValid() ? deviceName.toByteArray() : nameItem->text().toUtf8();
}

qint64 selectedFileSize(const QTableWidget *table)
{
    const QList<QTableWidgetItem *> selected = table->selectedItems();
    const QTableWidgetItem *sizeItem = selected.isEmpty() ? nullptr : table->item(selected.first()->row(), SizeColumn);
    bool ok = false;
    const qint64 size = sizeItem ? sizeItem->text().toLongLong(&ok) : -1;
    return ok ? size : -1;
}

std::optional<QByteArray> deviceNameForCommand(MainWindowUi &ui)
{
    std::optional<QByteArray> name = selectedDeviceName(ui.tableWidget);
    if (!name)
        refuse(ui.statusbar, QMessageBox::Information, QStringLiteral("select file, please"));
    return name;
}
