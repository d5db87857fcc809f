#include "core/exchange.h"

QString exchangeName(Exchange exchange)
{
    switch (exchange) {
    case Exchange::Idle:
        return QStringLiteral("IDLE");
    case Exchange::Opening:
        return QStringLiteral("OPEN");
    case Exchange::Memory:
        return QStringLiteral("MEMORY");
    case Exchange::Listing:
        return QStringLiteral("LIST");
    case Exchange::Download:
        return QStringLiteral("DOWNLOAD");
    case Exchange::Upload:
        return QStringLiteral("UPLOAD");
    case Exchange::Remove:
        return QStringLiteral("REMOVE");
    case Exchange::Format:
        return QStringLiteral("ERASE");
    case Exchange::Execute:
        return QStringLiteral("EXECUTE");
    case Exchange::Reboot:
        return QStringLiteral("REBOOT");
    }
    return QString();
}

std::optional<Exchange> exchangeNamed(const QString &name)
{
    for (Exchange exchange : {Exchange::Idle, Exchange::Opening, Exchange::Memory, Exchange::Listing,
                              Exchange::Download, Exchange::Upload, Exchange::Remove, Exchange::Format,
                              Exchange::Execute, Exchange::Reboot}) {
        if (exchangeName(exchange) == name)
            return exchange;
    }
    return std::nullopt;
}

int answerSilenceMs(Exchange exchange)
{
    return exchange == Exchange::Format ? FormatSilenceMs : AnswerSilenceMs;
}
