// The Connect button: opens the chosen port with the receiver's line settings,
// or closes the link and empties the window.
#ifndef PORTCONNECTION_H
#define PORTCONNECTION_H

#include "link/replydispatch.h"

#include <functional>

class MainWindowUi;

// Returns true when the press opened the link. The line then settles first
// (LineSettler: what a board that restarts on open prints is read and
// dropped, and the rest of a reply an earlier Disconnect or spiffs-cli run
// cut short, said in the status bar while it passes); meanwhile the register
// holds "MEMORY", so every command button answers busy, and the reply
// handler is not bound. Once settled, the handler is bound and whenSettled
// runs: the caller's memory request. A disconnect before then cancels it,
// and nothing is sent.
//
// A Disconnect in the middle of a download or a listing keeps what is still
// to come of it, for the next Connect to that port and, as a note
// (RemainderNote), for any program that opens it next.
//
// A port that does not open is said with its reason and the next step,
// after "ESP32: can't use the port" (PortOpening, as spiffs-cli says it).
bool togglePortConnection(MainWindowUi &ui, const ReplyTable &replyTable, const std::function<void()> &whenSettled);

#endif // PORTCONNECTION_H
