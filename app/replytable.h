// The one place that knows every operation: which branch answers which value
// of the operation register, in the order they are tried.
#ifndef REPLYTABLE_H
#define REPLYTABLE_H

#include "link/replydispatch.h"

class MainWindowUi;

ReplyTable makeReplyTable(MainWindowUi &ui);

#endif // REPLYTABLE_H
