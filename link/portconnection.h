// The Connect button: opens the chosen port with the receiver's line settings,
// or closes the link and empties the window.
#ifndef PORTCONNECTION_H
#define PORTCONNECTION_H

#include "link/replydispatch.h"

class MainWindowUi;

// Returns true when the press opened the link; the caller then asks the
// device for its memory report.
bool togglePortConnection(MainWindowUi &ui, const ReplyTable &replyTable);

#endif // PORTCONNECTION_H
