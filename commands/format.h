// Format: erases the device's whole file system after the user confirms.
#ifndef FORMAT_H
#define FORMAT_H

class MainWindowUi;

// The Format button.
void startFormat(MainWindowUi &ui);

// The ERASE branch of the reply handler.
void handleFormatReply(MainWindowUi &ui);

#endif // FORMAT_H
