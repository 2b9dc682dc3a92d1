#include "tips/tips_file_steps.h"

#include <windows.h>

#include <algorithm>
#include <optional>

bool NoSuchFile(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool SeekTo(HANDLE file, uint64_t offset) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != FALSE;
}

namespace {

// The file's size; none when it cannot be had or is 4 GB or more.
std::optional<DWORD> SizeBelow4Gb(HANDLE file) {
    DWORD high = 0;
    const DWORD size = GetFileSize(file, &high);
    if ((size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high) return std::nullopt;
    return size;
}

bool ReadExactly(HANDLE file, char* bytes, DWORD size) {
    DWORD read = 0;
    return ReadFile(file, bytes, size, &read, nullptr) && read == size;
}

FileBytes ReadWholeFile(HANDLE file, TipsPartHasher* hasher, Kept kept) {
    const std::optional<DWORD> size = SizeBelow4Gb(file);
    if (!size || !SeekTo(file, 0)) return {};
    const bool all = kept == Kept::All;
    const DWORD blockSize = all ? *size + 1 : std::min(*size + 1, kFilePiece);
    FileBytes bytes{GlobalBuffer(GlobalAlloc(GMEM_FIXED, blockSize)), *size};
    char* const block = bytes.block.Bytes();
    if (!block) return {};
    DWORD offset = 0;
    do {
        const DWORD piece = std::min(kFilePiece, *size - offset);
        char* const at = all ? block + offset : block;
        if (!ReadExactly(file, at, piece)) return {};
        if (hasher) hasher->Feed(std::string_view(at, piece));
        offset += piece;
    } while (offset < *size);
    if (all) block[*size] = '\0';
    return bytes;
}

}  // namespace

OpenedBytes ReadHeldFile(const char* path, DWORD access, DWORD share, const WaitBudget& budget,
                         TipsPartHasher* hasher, Kept kept) {
    OpenedBytes opened;
    const TipsPartHasher fresh = hasher ? *hasher : TipsPartHasher();
    RetryWhileHeld(HoldErrors::SharingOnly, budget, [&] {
        // The last try's handle goes first: sharing nothing, it would keep
        // this one out too.
        opened = OpenedBytes{};
        opened.file = Handle(CreateFileA(path, access, share, nullptr, OPEN_EXISTING, 0, nullptr));
        if (hasher) *hasher = fresh;
        opened.bytes =
            opened.file.Valid() ? ReadWholeFile(opened.file.Get(), hasher, kept) : FileBytes{};
        return opened.bytes.block.Get() != nullptr;
    });
    return opened;
}

Handle OpenPastBriefHolds(const char* path, DWORD access, DWORD share, DWORD disposition,
                          DWORD attributes, HoldErrors holds, const WaitBudget& budget) {
    Handle file;
    RetryWhileHeld(holds, budget, [&] {
        file = Handle(CreateFileA(path, access, share, nullptr, disposition, attributes, nullptr));
        return file.Valid();
    });
    return file;
}

bool WriteAll(HANDLE file, std::string_view bytes) {
    DWORD written = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool CutTo(HANDLE file, uint64_t length) {
    return SeekTo(file, length) && SetEndOfFile(file);
}

namespace {

// The file's record as NtQueryInformationFile gives it for FileStandardInformation
// (5), which winternl.h documents; ntdll.dll exports it on every Windows NT.
struct FileStandardRecord {
    LARGE_INTEGER allocationSize;
    LARGE_INTEGER endOfFile;
    ULONG numberOfLinks;
    BOOLEAN deletePending;
    BOOLEAN directory;
};
struct IoStatus {
    ULONG_PTR status;
    ULONG_PTR information;
};
static_assert(sizeof(FileStandardRecord) == 24 && sizeof(IoStatus) == 8,
              "the layouts of the 32-bit records");
using QueryInformationFileFn = LONG(WINAPI*)(HANDLE, IoStatus*, void*, ULONG, int);
constexpr int kFileStandardInformation = 5;

}  // namespace

// One query of the file's own record: GetFileInformationByHandle also asks
// the volume for its serial number, which costs a save on Wine as much as
// writing a small tips.rc.
ULONG LinkCountOf(HANDLE file) {
    const auto query = reinterpret_cast<QueryInformationFileFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationFile")));
    FileStandardRecord record{};
    IoStatus io{};
    if (query && query(file, &io, &record, sizeof record, kFileStandardInformation) >= 0)
        return record.numberOfLinks;
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileInformationByHandle(file, &info) ? info.nNumberOfLinks : 1;
}
