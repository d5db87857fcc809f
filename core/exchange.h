// The receiver's exchanges: one request and its answer each. Every byte on
// the line belongs to one of them, to the opening, or to the quiet between
// two; time-outs, traces and the rest of a reply cut short are reckoned by
// them. Qt Core only.
#ifndef EXCHANGE_H
#define EXCHANGE_H

#include <QtCore/QString>

#include <optional>

enum class Exchange {
    Idle,    // between two exchanges: whatever arrives then is line noise
    Opening, // from the port's opening to the first request: boot text, if any
    Memory,
    Listing,
    Download,
    Upload,
    Remove,
    Format,
    Execute,
    Reboot,
};

// As a trace shows it: IDLE, OPEN, MEMORY, LIST, DOWNLOAD, UPLOAD, REMOVE,
// ERASE, EXECUTE, REBOOT.
QString exchangeName(Exchange exchange);
// The exchange a word names, exactly as exchangeName() writes it.
std::optional<Exchange> exchangeNamed(const QString &name);

// The receiver answers every request within milliseconds and keeps a reply
// going without long pauses; silence this long means it is not answering.
inline constexpr int AnswerSilenceMs = 5000;
// Erasing the whole flash keeps it silent for up to about two minutes.
inline constexpr int FormatSilenceMs = 120000;
// The silence after which an exchange counts as unanswered.
int answerSilenceMs(Exchange exchange);

// A line that never falls quiet (a receiver printing a log) holds a request
// up no longer than this while it settles (LineSettler), and the rest of a
// cut reply is waited for at most this long beyond its time on the line
// (ReplyRemainder).
inline constexpr int SettleLimitMs = 10000;

#endif // EXCHANGE_H
