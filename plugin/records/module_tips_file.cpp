#include "records/module_tips_file.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

#include "records/messages.h"
#include "records/modal_loops.h"
#include "records/module_state.h"
#include "tips/tips_file.h"
#include "tips/tips_text.h"
#include "win/handles.h"

namespace {

constexpr UINT kQuestionStyle = MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_TOPMOST;

// The start-up read may wait about as long as one step of a save.
constexpr DWORD kStartUpWaitMs = 1000;

// All the waits of one save, another host's save included: well short of the
// 5 s after which Windows calls the host's window not responding, and long
// enough for a scanner's look at each of the save's steps.
constexpr DWORD kSaveWaitMs = 3000;

void AppendHex(char*& out, uint64_t value, int digits) {
    for (int digit = digits - 1; digit >= 0; --digit)
        *out++ = "0123456789ABCDEF"[(value >> (4 * digit)) & 0xF];
}

// The folder's volume serial number and file index: what identifies it
// whichever way its path is spelled. None when it cannot be opened.
std::optional<BY_HANDLE_FILE_INFORMATION> FolderIdentity(std::string_view folder) {
    char path[MAX_PATH];
    // A folder opens without its last separator, a drive's root ("C:\") with it.
    size_t length = folder.size();
    if (length > 1 && folder[length - 2] != ':') --length;
    path[folder.copy(path, length)] = '\0';
    const Handle handle(CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION identity;
    if (!handle.Valid() || !GetFileInformationByHandle(handle.Get(), &identity))
        return std::nullopt;
    return identity;
}

using GetFinalPathFn = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);

// The path Windows resolves an existing file's path to, its links followed, so
// that a host saving through a symbolic link and one saving through its
// target name one lock. Windows has told since Vista; XP's kernel32 has no
// GetFinalPathNameByHandleA, which is looked up here for that reason, and the
// path stays as it was given there. False where it cannot tell.
bool FinalPathOf(const char* path, char (&target)[MAX_PATH]) {
    const auto finalPath = reinterpret_cast<GetFinalPathFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleA")));
    if (!finalPath) return false;
    const Handle file(CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    char resolved[MAX_PATH + 8];
    const DWORD length =
        file.Valid() ? finalPath(file.Get(), resolved, sizeof resolved, FILE_NAME_NORMALIZED) : 0;
    if (length == 0 || length >= sizeof resolved) return false;
    // "\\?\C:\folder\tips.rc"; "\\?\UNC\server\share\tips.rc" for "\\server\share\tips.rc".
    constexpr std::string_view kLongPrefix = "\\\\?\\";
    constexpr std::string_view kUncPrefix = "\\\\?\\UNC\\";
    std::string_view rest(resolved, length);
    const bool unc = rest.substr(0, kUncPrefix.size()) == kUncPrefix;
    if (unc)
        rest.remove_prefix(kUncPrefix.size());
    else if (rest.substr(0, kLongPrefix.size()) == kLongPrefix)
        rest.remove_prefix(kLongPrefix.size());
    const size_t lead = unc ? 2 : 0;
    if (lead + rest.size() >= MAX_PATH) return false;
    target[0] = target[1] = '\\';
    target[lead + rest.copy(target + lead, rest.size())] = '\0';
    return true;
}

// Every writers' mutex is named so; the rest of the name says which tips.rc.
constexpr std::string_view kMutexPrefix = "Local\\Calvorin.tips.";

// Opens the writers' mutex, made first by whichever host saves first. A host
// running as administrator gives it a label a normal one may not create it
// under, but may open it to wait on.
Handle OpenWriterMutex(const char* path) {
    char name[kWriterMutexNameSize];
    if (!WriterMutexName(path, name)) return Handle();
    Handle mutex(CreateMutexA(nullptr, FALSE, name));
    if (!mutex.Valid() && GetLastError() == ERROR_ACCESS_DENIED)
        mutex = Handle(OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name));
    return mutex;
}

// The writers' mutex for TipsPath, kept from the first save of a start on;
// null when none could be made or opened, which the next save tries again.
HANDLE WriterMutexOfTipsPath() {
    Handle& mutex = g_tipsFile.writerMutex;
    if (mutex.Valid() && std::strcmp(g_tipsFile.writerMutexPath, TipsPath) == 0) return mutex.Get();
    mutex = OpenWriterMutex(TipsPath);
    if (mutex.Valid()) std::memcpy(g_tipsFile.writerMutexPath, TipsPath, kTipsPathSize);
    return mutex.Get();
}

// wsprintfA fills at most 1024 bytes; every question fits in far fewer.
constexpr size_t kQuestionSize = 512;
static_assert(sizeof kTipsNotShownText + sizeof kNotShownZeroByteItem +
                      sizeof kNotShownLastLineItem + sizeof kNotShownLineEndsItem + sizeof kLines +
                      10 <
                  kQuestionSize,
              "every question fits");
// A count's phrase: ten digits and the words around them.
constexpr size_t kPhraseSize = 32;
static_assert(sizeof kTheTips + 10 < kPhraseSize && sizeof kLines + 10 < kPhraseSize,
              "every phrase fits");

// "the 1 tip" or "the 20 tips" (kOneTip, kTheTips), "1 line" or "20 lines".
const char* CountPhrase(uint32_t count, const char* one, const char* many,
                        char (&phrase)[kPhraseSize]) {
    if (count == 1) return one;
    wsprintfA(phrase, many, count);
    return phrase;
}

// kTipsNotShownText with a line for each kind of text the file holds.
void NotShownQuestion(const TipsFileStamp& stamp, char (&text)[kQuestionSize]) {
    char items[kQuestionSize] = "";
    int length = 0;
    for (const auto& [kind, line] : {std::pair{kNotShownZeroByte, kNotShownZeroByteItem},
                                     std::pair{kNotShownLastLine, kNotShownLastLineItem},
                                     std::pair{kNotShownLineEnds, kNotShownLineEndsItem}}) {
        if (stamp.notShown & kind)
            length += wsprintfA(items + length, length ? "\n%s" : "%s", line);
    }
    char lines[kPhraseSize];
    wsprintfA(text, kTipsNotShownText, items,
              CountPhrase(stamp.notShownLines, kOneLine, kLines, lines));
}

// The question to ask before the file is replaced, given what the comparison
// found and the stamp it compared with; false when none is needed. While the
// list holds none of the file's tips, that is what the question says,
// whatever else is also true.
bool QuestionBeforeReplacing(const TipsFileComparison& found, const TipsFileStamp& stamp,
                             bool unreadableAccepted, char (&text)[kQuestionSize]) {
    const TipsFileChange change = found.change;
    const bool unreadable = change == TipsFileChange::Unreadable;
    if (change == TipsFileChange::Vanished || (unreadable && unreadableAccepted)) return false;
    if (stamp.unread && change != TipsFileChange::Unchanged) {
        char tips[kPhraseSize];
        wsprintfA(
            text, kTipsUnreadAtStartText,
            unreadable ? kEveryTip : CountPhrase(found.fileNow.lines, kOneTip, kTheTips, tips));
        return true;
    }
    if (change != TipsFileChange::Unchanged) {
        lstrcpynA(text, unreadable ? kTipsUncheckedText : kTipsChangedText, kQuestionSize);
        return true;
    }
    if (stamp.notShown) NotShownQuestion(stamp, text);
    return stamp.notShown != 0;
}

// What a save that went ahead comes to: the box for a text that could not be
// built, and the old bytes of a cut-off rewrite kept for their next chance.
TipsSave Reported(TipsSaveOutcome& outcome) {
    switch (outcome.result) {
    case TipsWriteResult::Written: return TipsSave::Written;
    case TipsWriteResult::ImageFailed:
        ShowMessageBox(nullptr, kWriteFailedText, kWriteFailedCaption, MB_TOPMOST);
        break;
    case TipsWriteResult::LeftChanged: g_tipsFile.unfinished = std::move(outcome.unfinished); break;
    default: break;
    }
    return TipsSave::Failed;
}

}  // namespace

bool WriterMutexName(const char* path, char (&name)[kWriterMutexNameSize]) {
    char target[MAX_PATH];
    if (FinalPathOf(path, target)) path = target;
    char fullPath[MAX_PATH];
    char* fileName = nullptr;
    const DWORD length = GetFullPathNameA(path, MAX_PATH, fullPath, &fileName);
    if (length == 0 || length >= MAX_PATH || !fileName) return false;
    // File names ignore case.
    CharUpperBuffA(fileName, static_cast<DWORD>(fullPath + length - fileName));
    char* out = name + kMutexPrefix.copy(name, kMutexPrefix.size());
    if (const auto folder =
            FolderIdentity(std::string_view(fullPath, static_cast<size_t>(fileName - fullPath)))) {
        AppendHex(out, folder->dwVolumeSerialNumber, 8);
        AppendHex(out, (uint64_t{folder->nFileIndexHigh} << 32) | folder->nFileIndexLow, 16);
        AppendHex(out, HashTipsText(fileName), 16);
    } else {
        // The folder's own spelling is all there is to go by. The comparison
        // before the save still guards where two spellings meet.
        CharUpperBuffA(fullPath, length);
        AppendHex(out, HashTipsText(std::string_view(fullPath, length)), 16);
    }
    *out = '\0';
    return true;
}

void ReadTipsFile() {
    const WaitBudget budget(kStartUpWaitMs);
    switch (ReadTipsFileAt(TipsPath, TipsList, g_tipsFile.stamp, budget)) {
    case TipsReadResult::NoLines:
    case TipsReadResult::NotRead:
    case TipsReadResult::SplitFailed:
        ShowMessageBox(nullptr, kReadFailedText, kReadFailedCaption, MB_TOPMOST);
        break;
    case TipsReadResult::NotOpened:
    case TipsReadResult::Read: break;
    }
}

TipsSave WriteTipsFile() {
    // Without a mutex (none could be made or opened) the save goes on: the
    // comparison before it still finds another host's write, though not one
    // that lands between the comparison and the swap.
    const HANDLE mutex = WriterMutexOfTipsPath();
    bool unreadableAccepted = false;
    for (;;) {
        char question[kQuestionSize];
        TipsSaveOutcome outcome;
        {
            // The host's thread pumps its messages while a question is up, so
            // the waits' time starts again after each.
            const WaitBudget budget(kSaveWaitMs);
            const MutexOwner owner(mutex, budget.Left());
            if (mutex && !owner.Owns()) return TipsSave::Failed;
            // The old bytes of a rewrite that was cut off go back first, so
            // that the comparison meets the file this plug-in last knew; while
            // they cannot, nothing else is written.
            if (!PutBackUnfinishedRewrite(TipsPath, g_tipsFile.unfinished, budget))
                return TipsSave::Failed;
            outcome = SaveTipsFileAt(TipsPath, TipsList, g_tipsFile.stamp, budget,
                                     [&](const TipsFileComparison& found) {
                                         return !QuestionBeforeReplacing(
                                             found, g_tipsFile.stamp, unreadableAccepted, question);
                                     });
        }
        if (outcome.result != TipsWriteResult::NotAhead) return Reported(outcome);
        // Asked with nothing held: another host saving meanwhile must not hang
        // on this box. No is the default button: Enter alone must not throw
        // away someone's tips.
        if (ShowMessageBox(NotifyWindow, question, kEditTipsCaption, kQuestionStyle) != IDYES)
            return TipsSave::Declined;
        // Yes accepts the file as it was when asked; the save starts again
        // from the open, so a change made while the box was up asks again.
        switch (outcome.found.change) {
        case TipsFileChange::Unreadable: unreadableAccepted = true; break;
        case TipsFileChange::TipsChanged: g_tipsFile.stamp = StampOf(outcome.found.fileNow); break;
        default: g_tipsFile.stamp.notShown = 0; break;
        }
    }
}

// Under the writers' mutex, as a save is, so that no other host's save runs
// beside it; its wait and the put-back's share one budget.
bool PutBackUnfinishedTipsRewrite() {
    if (!g_tipsFile.unfinished.Pending()) return true;
    const WaitBudget budget(kSaveWaitMs);
    const HANDLE mutex = WriterMutexOfTipsPath();
    const MutexOwner owner(mutex, budget.Left());
    if (mutex && !owner.Owns()) return false;
    return PutBackUnfinishedRewrite(TipsPath, g_tipsFile.unfinished, budget);
}

void EndTipsFileSaves() {
    PutBackUnfinishedTipsRewrite();
    // TipsList keeps its tips through the stop, and the stamp what they were
    // read from: a next start that cannot open tips.rc still knows it.
    const TipsFileStamp stamp = g_tipsFile.stamp;
    g_tipsFile = {};
    g_tipsFile.stamp = stamp;
}
