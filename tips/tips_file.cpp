#include "tips/tips_file.h"

#include <windows.h>

#include <exception>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tips/tips_text.h"

namespace {

struct FileHandle {
    HANDLE h;
    explicit FileHandle(HANDLE handle) : h(handle) {}
    ~FileHandle() { if (h != INVALID_HANDLE_VALUE) CloseHandle(h); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
};

struct GlobalBuffer {
    HGLOBAL h;
    explicit GlobalBuffer(HGLOBAL memory) : h(memory) {}
    ~GlobalBuffer() { Free(); }
    void Free() {
        if (h) GlobalFree(h);
        h = nullptr;
    }
    GlobalBuffer(const GlobalBuffer&) = delete;
    GlobalBuffer& operator=(const GlobalBuffer&) = delete;
};

// Deletes a file at scope exit unless it was handed on.
struct TempFile {
    std::string path;
    bool keep = false;
    ~TempFile() { if (!path.empty() && !keep) DeleteFileA(path.c_str()); }
};

// The file's bytes in a zero-filled buffer one byte longer than the file, so a
// zero byte always ends the text; null when the size, the buffer or the read fails.
HGLOBAL ReadWholeFile(HANDLE file, DWORD& size) {
    size = GetFileSize(file, nullptr);
    if (size == INVALID_FILE_SIZE) return nullptr;
    GlobalBuffer buffer(GlobalAlloc(GPTR, size_t{size} + 1));
    if (!buffer.h) return nullptr;
    DWORD read = 0;
    // The buffer starts zeroed, so a short read ends the text where it stopped.
    if (!ReadFile(file, buffer.h, size, &read, nullptr)) return nullptr;
    HGLOBAL bytes = buffer.h;
    buffer.h = nullptr;
    return bytes;
}

// Writes every byte or reports failure: TRUE alone does not promise the count.
bool WriteAndFlush(HANDLE file, std::string_view bytes) {
    DWORD written = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size() && FlushFileBuffers(file);
}

// The folder part of a full path, separator included.
std::string FolderOf(const std::string& fullPath) {
    const size_t slash = fullPath.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".\\") : fullPath.substr(0, slash + 1);
}

// Replaces the file at fullPath with the replacement file. Wine leaves a stray
// file behind when ReplaceFileA fails without a backup name, so the old file is
// always moved aside under a name of ours, and that name is cleaned up after.
bool SwapInReplacement(const char* fullPath, const std::string& replacement) {
    char backup[MAX_PATH];
    if (!GetTempFileNameA(FolderOf(fullPath).c_str(), "tib", 0, backup)) return false;
    DeleteFileA(backup);
    const bool swapped = ReplaceFileA(fullPath, replacement.c_str(), backup,
                                      REPLACEFILE_WRITE_THROUGH, nullptr, nullptr);
    if (!swapped && GetFileAttributesA(fullPath) == INVALID_FILE_ATTRIBUTES) {
        // Failed halfway: the old file only has the backup name now. Put it back.
        MoveFileExA(backup, fullPath, MOVEFILE_WRITE_THROUGH);
        return false;
    }
    DeleteFileA(backup);
    return swapped;
}

// The list gives the read buffer back through this once it lets the tips go.
void FreeReadBuffer(char* block) {
    GlobalFree(block);
}

// Cuts the text in the buffer into the list's tips, the counter line skipped.
// The tips stay in the buffer, which the list takes over: a copy of each would
// cost a heap block per tip and double the memory a large file needs. A failure
// leaves the list as it was.
TipsReadResult StoreTips(GlobalBuffer& buffer, DWORD size, TipsListStore& list) {
    char* text = static_cast<char*>(buffer.h);
    CutLines lines = text ? CutTipsLines(text, size) : CutLines{};
    if (!lines.counterLine) {
        list.ReplaceAll({});
        return TipsReadResult::NoTipsOrFault;
    }
    if (lines.tips.empty()) {
        list.ReplaceAll({});  // the buffer would only hold the counter line
        return TipsReadResult::Read;
    }
    list.TakeBlock(text, size_t{size} + 1, FreeReadBuffer, std::move(lines.tips));
    buffer.h = nullptr;
    return TipsReadResult::Read;
}

}  // namespace

TipsReadResult ReadTipsFrom(const char* path, TipsListStore& list) {
    GlobalBuffer buffer(nullptr);
    DWORD size = 0;
    {
        FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    0, nullptr));
        if (file.h == INVALID_HANDLE_VALUE) return TipsReadResult::NotOpened;
        buffer.h = ReadWholeFile(file.h, size);
    }
    // Here the size bytes in the buffer are exactly what the file held, a zero
    // byte after them; GPTR memory is its own pointer. StoreTips cuts them up.
    try {
        return StoreTips(buffer, size, list);
    } catch (const std::exception&) {
        return TipsReadResult::NoTipsOrFault;
    }
}

TipsWriteResult WriteTipsTo(const char* path, const TipsListStore& list) {
    // The new text goes to a file beside the target and is swapped in whole, so
    // a failure at any step leaves the old file as it was.
    char fullPath[MAX_PATH];
    const DWORD fullLength = GetFullPathNameA(path, MAX_PATH, fullPath, nullptr);
    if (fullLength == 0 || fullLength >= MAX_PATH) return TipsWriteResult::NotWritten;

    TempFile temp;
    {
        char tempPath[MAX_PATH];
        if (!GetTempFileNameA(FolderOf(fullPath).c_str(), "tip", 0, tempPath))
            return TipsWriteResult::NotWritten;
        temp.path = tempPath;
    }

    bool written = false;
    {
        FileHandle file(CreateFileA(temp.path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.h == INVALID_HANDLE_VALUE) return TipsWriteResult::NotWritten;
        try {
            written = WriteAndFlush(file.h, BuildTipsImage(list));
        } catch (const std::exception&) {
            return TipsWriteResult::ImageFailed;
        }
    }
    if (!written) return TipsWriteResult::NotWritten;

    // ReplaceFileA, unlike MoveFileExA under Wine, refuses a read-only target and
    // one that another program holds open, as Windows does; it needs full paths.
    if (GetFileAttributesA(fullPath) == INVALID_FILE_ATTRIBUTES) {
        if (!MoveFileExA(temp.path.c_str(), fullPath, MOVEFILE_WRITE_THROUGH))
            return TipsWriteResult::NotWritten;
    } else if (!SwapInReplacement(fullPath, temp.path)) {
        return TipsWriteResult::NotWritten;
    }
    // cppcheck-suppress unreadVariable ; TempFile's destructor reads it
    temp.keep = true;
    return TipsWriteResult::Written;
}
