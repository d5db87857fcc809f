// The Connect button: opens the chosen port with the receiver's line settings,
// or closes the link and empties the window.
#ifndef PORTCONNECTION_H
#define PORTCONNECTION_H

#include "link/replydispatch.h"

#include <functional>

class MainWindowUi;

// Returns true when the press opened the link. The line then settles first
// (LineSettler: what a board that restarts on open prints is read and
// dropped); meanwhile the register holds "MEMORY", so every command button
// answers busy, and the reply handler is not bound. Once settled, the
// handler is bound and whenSettled runs: the caller's memory request. A
// disconnect before then cancels it, and nothing is sent.
bool togglePortConnection(MainWindowUi &ui, const ReplyTable &replyTable, const std::function<void()> &whenSettled);

#endif // PORTCONNECTION_H
