#include "plugin/module_tips_file.h"

#include <windows.h>

#include "plugin/messages.h"
#include "plugin/modal_loops.h"
#include "plugin/module_state.h"
#include "tips/tips_file.h"

void ReadTipsFile() {
    if (ReadTipsFrom(TipsPath, TipsList, g_tipsFileStamp) == TipsReadResult::NoTipsOrFault)
        ShowMessageBox(nullptr, kReadFailedText, kReadFailedCaption, MB_TOPMOST);
}

TipsSave SaveTipsFile() {
    // No is the default button: Enter alone must not throw away someone's edits.
    if (CompareTipsFile(TipsPath, g_tipsFileStamp, TipsList) == TipsFileChange::TipsChanged &&
        ShowMessageBox(NotifyWindow, kTipsChangedText, kEditTipsCaption,
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_TOPMOST) != IDYES)
        return TipsSave::Declined;
    switch (WriteTipsTo(TipsPath, TipsList, g_tipsFileStamp)) {
    case TipsWriteResult::Written:
        return TipsSave::Written;
    case TipsWriteResult::ImageFailed:
        ShowMessageBox(nullptr, kWriteFailedText, kWriteFailedCaption, MB_TOPMOST);
        return TipsSave::Failed;
    case TipsWriteResult::NotWritten:
        break;
    }
    return TipsSave::Failed;
}

int32_t WriteTipsFile() {
    return SaveTipsFile() == TipsSave::Written ? 1 : 0;
}
