#include "link/operation.h"

#include <QtCore/QDebug>

#include <utility>

namespace Operation {

Exchange exchangeOf(const QString &value)
{
    static const std::pair<const QString *, Exchange> exchanges[] = {
            {&Idle, Exchange::Idle},         {&Memory, Exchange::Memory}, {&List, Exchange::Listing},
            {&Download, Exchange::Download}, {&Upload, Exchange::Upload}, {&Remove, Exchange::Remove},
            {&Erase, Exchange::Format},      {&Execute, Exchange::Execute}, {&Reboot, Exchange::Reboot},
    };
    for (const auto &[operation, exchange] : exchanges) {
        if (*operation == value)
            return exchange;
    }
    // Only a slip of the program's own puts anything else there; its bytes are
    // traced as between two exchanges, and the slip is said.
    qWarning("spiffs-manager: the operation register holds \"%s\", which is no operation", qPrintable(value));
    return Exchange::Idle;
}

} // namespace Operation
