// The sections of spiffs-cli's manual page made from the tables of
// commandtable.h at build time (spiffs-cli-generate), so that they cannot
// drift from the program; the rest of the page is written by hand in
// docs/man/spiffs-cli.1.in.
#ifndef MANUALSECTIONS_H
#define MANUALSECTIONS_H

#include <QtCore/QString>

// The manual page's source with the line "@EXIT_STATUS@" replaced by the
// table of exit statuses.
QString manualPage(const QString &source);

#endif // MANUALSECTIONS_H
