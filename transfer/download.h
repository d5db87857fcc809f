// Download: copies the selected device file into a folder the user picks.
// The whole file is gathered in memory and written to disk in one piece,
// only once every byte is in.
#ifndef DOWNLOAD_H
#define DOWNLOAD_H

class MainWindowUi;

// The Download button.
void startDownload(MainWindowUi &ui);

// The DOWNLOAD branch of the reply handler.
void handleDownloadReply(MainWindowUi &ui);

#endif // DOWNLOAD_H
