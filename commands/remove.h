// Remove: deletes the selected device file after the user confirms.
#ifndef REMOVE_H
#define REMOVE_H

class MainWindowUi;

// The Remove button.
void startRemove(MainWindowUi &ui);

// The REMOVE branch of the reply handler.
void handleRemoveReply(MainWindowUi &ui);

#endif // REMOVE_H
