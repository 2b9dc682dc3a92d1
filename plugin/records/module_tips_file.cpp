#include "records/module_tips_file.h"

#include <windows.h>

#include <cstdint>
#include <string_view>
#include <utility>

#include "records/messages.h"
#include "records/modal_loops.h"
#include "records/module_state.h"
#include "tips/tips_file.h"
#include "tips/tips_text.h"

namespace {

constexpr UINT kQuestionStyle = MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_TOPMOST;

// Longer than another instance's save takes even when each of its steps waits
// out a brief holder, shorter than the 5 s after which Windows calls the
// host's window not responding.
constexpr DWORD kWriterWaitMs = 4000;

struct KernelHandle {
    HANDLE h;
    explicit KernelHandle(HANDLE handle) : h(handle) {}
    ~KernelHandle() { if (h) CloseHandle(h); }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;
};

// Owns the mutex from a successful wait to scope exit.
struct MutexOwner {
    HANDLE mutex;
    bool owns;
    explicit MutexOwner(HANDLE m) : mutex(m) {
        const DWORD waited = WaitForSingleObject(m, kWriterWaitMs);
        // A host that ended mid-save left tips.rc whole, as every write
        // either swaps a complete file in or puts the old bytes back.
        owns = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
    ~MutexOwner() { if (owns) ReleaseMutex(mutex); }
    MutexOwner(const MutexOwner&) = delete;
    MutexOwner& operator=(const MutexOwner&) = delete;
};

// The mutex every instance of the module, in any host of the session, takes
// to save the tips.rc at path. File names ignore case, so the name comes from
// the case-folded full path; a hash of it keeps the name short whatever the
// path's length. Null when it cannot be had.
HANDLE OpenWriterMutex(const char* path) {
    char fullPath[MAX_PATH];
    const DWORD length = GetFullPathNameA(path, MAX_PATH, fullPath, nullptr);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    CharUpperBuffA(fullPath, length);
    const uint64_t hash = HashTipsText(std::string_view(fullPath, length));
    constexpr std::string_view kPrefix = "Local\\Calvorin.tips.";
    char name[kPrefix.size() + 17] = {};
    kPrefix.copy(name, kPrefix.size());
    for (size_t digit = 0; digit < 16; ++digit)
        name[kPrefix.size() + digit] = "0123456789ABCDEF"[(hash >> (60 - 4 * digit)) & 0xF];
    return CreateMutexA(nullptr, FALSE, name);
}

constexpr size_t kQuestionSize = 512;
static_assert(sizeof kTipsNotShownText + sizeof kNotShownZeroByteItem +
                      sizeof kNotShownLastLineItem + sizeof kNotShownLineEndsItem <
                  kQuestionSize,
              "every question fits");

struct TextBuilder {
    char (&text)[kQuestionSize];
    size_t length = 0;
    void Append(std::string_view part) { length += part.copy(text + length, part.size()); }
};

// kTipsNotShownText with a line for each kind of text the file holds.
void NotShownQuestion(uint32_t notShown, char (&text)[kQuestionSize]) {
    const std::string_view format = kTipsNotShownText;
    const size_t lines = format.find("%s");
    TextBuilder question{text};
    question.Append(format.substr(0, lines));
    const char* separator = "";
    for (const auto& [kind, line] : {std::pair{kNotShownZeroByte, kNotShownZeroByteItem},
                                     std::pair{kNotShownLastLine, kNotShownLastLineItem},
                                     std::pair{kNotShownLineEnds, kNotShownLineEndsItem}}) {
        if (!(notShown & kind)) continue;
        question.Append(separator);
        question.Append(line);
        separator = "\n";
    }
    question.Append(format.substr(lines + 2));
    text[question.length] = '\0';
}

// The question to ask before the file is replaced, given what the comparison
// found; false when none is needed.
bool QuestionBeforeReplacing(TipsFileChange change, bool unreadableAccepted,
                             char (&text)[kQuestionSize]) {
    switch (change) {
    case TipsFileChange::Unreadable:
        if (unreadableAccepted) return false;
        lstrcpynA(text, kTipsUncheckedText, kQuestionSize);
        return true;
    case TipsFileChange::TipsChanged:
        lstrcpynA(text, g_tipsFileStamp.unread ? kTipsUnreadAtStartText : kTipsChangedText,
                  kQuestionSize);
        return true;
    case TipsFileChange::Unchanged:
        if (!g_tipsFileStamp.notShown) return false;
        NotShownQuestion(g_tipsFileStamp.notShown, text);
        return true;
    case TipsFileChange::Vanished:
        break;
    }
    return false;
}

}  // namespace

TipsFileStamp g_tipsFileStamp;

void ReadTipsFile() {
    if (ReadTipsFrom(TipsPath, TipsList, g_tipsFileStamp) == TipsReadResult::NoTipsOrFault)
        ShowMessageBox(nullptr, kReadFailedText, kReadFailedCaption, MB_TOPMOST);
}

TipsSave WriteTipsFile() {
    const KernelHandle mutex(OpenWriterMutex(TipsPath));
    if (!mutex.h) return TipsSave::Failed;
    bool unreadableAccepted = false;
    TipsWriteResult written = TipsWriteResult::NotWritten;
    for (;;) {
        TipsFileChange change;
        TipsFileStamp seen;
        char question[kQuestionSize];
        {
            const MutexOwner owner(mutex.h);
            if (!owner.owns) return TipsSave::Failed;
            change = CompareTipsFile(TipsPath, g_tipsFileStamp, TipsList, seen);
            if (!QuestionBeforeReplacing(change, unreadableAccepted, question)) {
                written = WriteTipsTo(TipsPath, TipsList, g_tipsFileStamp);
                break;
            }
        }
        // Asked without the mutex: another host saving meanwhile must not hang
        // on this box. No is the default button: Enter alone must not throw
        // away someone's tips.
        if (ShowMessageBox(NotifyWindow, question, kEditTipsCaption, kQuestionStyle) != IDYES)
            return TipsSave::Declined;
        // Yes accepts the file as it was when asked; the comparison runs again,
        // so a change made while the box was up asks again.
        switch (change) {
        case TipsFileChange::Unreadable:  unreadableAccepted = true; break;
        case TipsFileChange::TipsChanged: g_tipsFileStamp = seen; break;
        default:                          g_tipsFileStamp.notShown = 0; break;
        }
    }
    switch (written) {
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
