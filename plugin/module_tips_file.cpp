#include "plugin/module_tips_file.h"

#include <windows.h>

#include "plugin/messages.h"
#include "plugin/module_state.h"
#include "tips/tips_file.h"

void ReadTipsFile() {
    if (ReadTipsFrom(TipsPath, TipsList) == TipsReadResult::NoTipsOrFault)
        MessageBoxA(nullptr, kReadFailedText, kReadFailedCaption, MB_TOPMOST);
}

int32_t WriteTipsFile() {
    switch (WriteTipsTo(TipsPath, TipsList)) {
    case TipsWriteResult::Written:
        return 1;
    case TipsWriteResult::ImageFailed:
        MessageBoxA(nullptr, kWriteFailedText, kWriteFailedCaption, MB_TOPMOST);
        return 0;
    case TipsWriteResult::NotWritten:
        break;
    }
    return 0;
}
