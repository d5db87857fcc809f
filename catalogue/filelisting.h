// The file table: the device's listing, one row per file with a type icon,
// the name and the size.
#ifndef FILELISTING_H
#define FILELISTING_H

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtCore/qnamespace.h>

#include <optional>

class MainWindowUi;
class QTableWidget;

// The file table's columns, left to right.
enum FileColumn { TypeColumn, NameColumn, SizeColumn, FileColumnCount };

// The name cell keeps the device's own name bytes under this role, so a
// request sends back exactly what the device listed.
inline constexpr int DeviceNameRole = Qt::UserRole + 1;

void requestListing();

// The LIST branch of the reply handler.
void handleListingReply(MainWindowUi &ui);

// Resource path of the icon for a file type (see fileExtension).
QString iconPathForType(const QString &type);

// The device name of the file the user picked: the name cell of the first
// selected row. Empty when no row is current or nothing is selected.
std::optional<QByteArray> selectedDeviceName(const QTableWidget *table);

// The listed size of the file the user picked; -1 when there is none.
qint64 selectedFileSize(const QTableWidget *table);

// The same, for a command about to use it: with no file picked, the user is
// asked to pick one and the result is empty.
std::optional<QByteArray> deviceNameForCommand(MainWindowUi &ui);

#endif // FILELISTING_H
