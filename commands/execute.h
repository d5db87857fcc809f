// Execute: asks the device to open the selected file (play it, show it...).
#ifndef EXECUTE_H
#define EXECUTE_H

class MainWindowUi;

// The Execute button.
void startExecute(MainWindowUi &ui);

// The EXECUTE branch of the reply handler.
void handleExecuteReply(MainWindowUi &ui);

#endif // EXECUTE_H
