// The line read and dropped until it is quiet, the reply handler unbound
// meanwhile: after Connect, after an unanswered exchange, after a reboot.
#ifndef LINESETTLE_H
#define LINESETTLE_H

#include "link/replydispatch.h"

#include "core/exchange.h"
#include "core/replyremainder.h"

#include <functional>
#include <optional>

class MainWindowUi;

// Unbinds the reply handler, reads and drops what the line brings (traced
// as traceAs) until it has settled, with remainder still to pass and
// quietSoFarMs of silence already behind it (LineSettler::start()); then
// binds the handler again and runs then, at once when the silence was enough.
// A disconnect meanwhile cancels it.
void settleThenBind(MainWindowUi &ui, const ReplyTable &replyTable, Exchange traceAs,
                    const std::optional<ReplyRemainder> &remainder, const std::function<void()> &then,
                    int quietSoFarMs = 0);

#endif // LINESETTLE_H
