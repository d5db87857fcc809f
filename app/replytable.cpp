#include "app/replytable.h"

#include "catalogue/filelisting.h"
#include "catalogue/memoryreport.h"
#include "commands/execute.h"
#include "commands/format.h"
#include "commands/reboot.h"
#include "commands/remove.h"
#include "link/operation.h"
#include "transfer/download.h"
#include "transfer/upload.h"

ReplyTable makeReplyTable(MainWindowUi &ui)
{
    return {
        {Operation::Reboot, [&ui] { handleRebootReply(ui); }},
        {Operation::Download, [&ui] { handleDownloadReply(ui); }},
        {Operation::Upload, [&ui] { handleUploadReply(ui); }},
        {Operation::Memory, [&ui] { handleMemoryReply(ui); }},
        {Operation::List, [&ui] { handleListingReply(ui); }},
        {Operation::Remove, [&ui] { handleRemoveReply(ui); }},
        {Operation::Erase, [&ui] { handleFormatReply(ui); }},
        {Operation::Execute, [&ui] { handleExecuteReply(ui); }},
    };
}
