#include "app/replytable.h"

#include "catalogue/filelisting.h"
#include "catalogue/memoryreport.h"
#include "link/operation.h"

ReplyTable makeReplyTable(MainWindowUi &ui)
{
    return {
        {Operation::Memory, [&ui] { handleMemoryReply(ui); }},
        {Operation::List, [&ui] { handleListingReply(ui); }},
    };
}
