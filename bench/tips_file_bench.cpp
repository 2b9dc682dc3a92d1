// Reading and writing tips.rc at scale, written by a swap and, through a hard
// link, in place, each timed against the plainest way to move the same bytes,
// plus the reader's peak memory and its answer to a file the 32-bit address
// space cannot hold twice.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "bench/bench_report.h"
#include "records/messages.h"
#include "records/module_state.h"
#include "records/module_tips_file.h"
#include "tests/shared/dialog_hook.h"
#include "tests/shared/import_wrapper.h"
#include "tests/shared/temp_folder.h"
#include "tests/shared/tips_contents.h"

namespace {

// Heap bytes the program holds: every operator new and every GlobalAlloc.
// The module's code is linked into this program, so both counters see the
// reader's own allocations.
size_t g_liveBytes = 0;
size_t g_peakBytes = 0;

void CountAllocated(size_t bytes) {
    g_liveBytes += bytes;
    g_peakBytes = std::max(g_peakBytes, g_liveBytes);
}

// Each block carries its size ahead of the caller's bytes; 16 keeps alignment.
constexpr size_t kHeader = 16;

void* CountedNew(size_t size) {
    void* block = malloc(size + kHeader);
    if (!block) throw std::bad_alloc();
    *static_cast<size_t*>(block) = size;
    CountAllocated(size);
    return static_cast<char*>(block) + kHeader;
}

void CountedDelete(void* p) {
    if (!p) return;
    void* block = static_cast<char*>(p) - kHeader;
    g_liveBytes -= *static_cast<size_t*>(block);
    free(block);
}

struct CountGlobalAlloc {
    static HGLOBAL Call(decltype(&GlobalAlloc) next, UINT flags, SIZE_T bytes) {
        HGLOBAL memory = next(flags, bytes);
        if (memory) CountAllocated(GlobalSize(memory));
        return memory;
    }
};

struct CountGlobalFree {
    static HGLOBAL Call(decltype(&GlobalFree) next, HGLOBAL memory) {
        if (memory) g_liveBytes -= GlobalSize(memory);
        return next(memory);
    }
};

// The fastest of several runs: the least disturbed by the rest of the machine.
template <typename Work>
double FastestOf(int runs, Work work) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const double start = Seconds();
        work();
        best = std::min(best, Seconds() - start);
    }
    return best;
}

// Each box the module shows is recorded and closed with OK, so a wrong result
// cannot hold the benchmark up.
struct SeenBox {
    std::string caption;
    std::string text;
};
std::vector<SeenBox> g_boxes;

void RecordAndClose(HWND box) {
    g_boxes.push_back({WindowText(box), ItemText(box, kBoxTextId)});
    Click(box, IDOK);
}

// The least a save can do and still never leave a half-written file: a new
// file in the same folder, one write, a flush, and one move over the target.
bool SaveSafely(const std::string& folder, const std::string& target, std::string_view bytes) {
    const std::string temp = folder + "safe.tmp";
    HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                              nullptr) &&
                    FlushFileBuffers(file);
    CloseHandle(file);
    return ok && written == bytes.size() &&
           MoveFileExA(temp.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

// The least a save in place can do: the file opened, every byte written from
// its start, the end set there, and a flush.
bool RewriteRaw(const std::string& target, std::string_view bytes) {
    HANDLE file = CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                              nullptr) &&
                    written == bytes.size() && SetEndOfFile(file) && FlushFileBuffers(file);
    CloseHandle(file);
    return ok;
}

// How many names the file has.
DWORD LinksOf(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return known ? info.nNumberOfLinks : 0;
}

// The whole file in one call into fresh memory: what any save that looks at
// the file first must spend. False when it could not be read.
bool ReadRaw(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const DWORD size = GetFileSize(file, nullptr);
    std::unique_ptr<char[]> buffer(new char[size_t{size} + 1]);
    DWORD read = 0;
    const bool ok = ReadFile(file, buffer.get(), size, &read, nullptr) && read == size;
    CloseHandle(file);
    return ok;
}

// The baseline read: the whole file in one call, then a count of its line ends.
size_t ReadRawAndCountLines(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    const DWORD size = GetFileSize(file, nullptr);
    char* buffer = static_cast<char*>(malloc(size_t{size} + 1));
    DWORD read = 0;
    size_t lines = 0;
    if (buffer && ReadFile(file, buffer, size, &read, nullptr)) {
        const char* end = buffer + read;
        for (const char* p = buffer;
             (p = static_cast<const char*>(memchr(p, '\r', static_cast<size_t>(end - p))));
             ++p)
            if (p + 1 < end && p[1] == '\n') ++lines;
    }
    free(buffer);
    CloseHandle(file);
    return lines;
}

// Returns the reader's ratio.
double MeasureSize(const std::string& folder, uint32_t count, const char* label) {
    const std::string tipsPath = folder + "tips.rc";
    const std::string safePath = folder + "safe.rc";
    const std::string image = TipsFileText(NumberedTips(count));
    WriteBytes(tipsPath, image);
    lstrcpynA(TipsPath, tipsPath.c_str(), kTipsPathSize);
    const int runs = count >= 1000000 ? 3 : count >= 100000 ? 7 : 25;

    // Reading: the raw read warms the file cache for both.
    size_t rawLines = ReadRawAndCountLines(tipsPath);
    double raw = 1e30, reader = 1e30;
    for (int i = 0; i < runs; ++i) {
        raw = std::min(raw, FastestOf(1, [&] { rawLines = ReadRawAndCountLines(tipsPath); }));
        TipsList.ReplaceAll({});
        reader = std::min(reader, FastestOf(1, [] { ReadTipsFile(); }));
    }
    if (rawLines != size_t{count} + 1 || TipsList.Count() != count || !g_boxes.empty()) {
        printf("%s: the reader got %u tips, not %u\n", label, TipsList.Count(), count);
        g_missed = true;
    }
    char name[96];
    snprintf(name, sizeof name, "ReadTipsFile %s tips vs ReadFile + memchr", label);
    Report(name, reader / raw, 1.5);

    // Peak memory of one read, counted from what was live before it.
    TipsList.ReplaceAll({});
    const size_t before = g_liveBytes;
    g_peakBytes = g_liveBytes;
    ReadTipsFile();
    snprintf(name, sizeof name, "ReadTipsFile %s tips peak memory / file size", label);
    Report(name, static_cast<double>(g_peakBytes - before) / static_cast<double>(image.size()),
           1.3);

    // Writing the list just read, against the floor for a writer that checks
    // the file before it replaces it and builds its image before one write:
    // the file read whole, the same bytes copied into fresh memory, then saved
    // safely to a file of the same size in the same folder. The writer's image
    // must be those very bytes. Each save ends in a flush, whose time varies
    // more than a read's: the fastest of at least nine runs. Two figures: the
    // save after a start-up read, whose stamp the list's block still holds,
    // and the save right after the writer's own save.
    double floor = 1e30, writer = 1e30, again = 1e30;
    WriteBytes(safePath, image);
    bool wrote = true;
    for (int i = 0; i < std::max(runs, 9); ++i) {
        const auto save = [&] { wrote &= WriteTipsFile() == TipsSave::Written; };
        again = std::min(again, FastestOf(1, save));
        ReadTipsFile();
        floor = std::min(floor, FastestOf(1, [&] {
            wrote &= ReadRaw(safePath);
            std::unique_ptr<char[]> copy(new char[image.size()]);
            memcpy(copy.get(), image.data(), image.size());
            wrote &= SaveSafely(folder, safePath, std::string_view(copy.get(), image.size()));
        }));
        writer = std::min(writer, FastestOf(1, save));
    }
    HANDLE written = CreateFileA(tipsPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    const DWORD writtenSize = GetFileSize(written, nullptr);
    CloseHandle(written);
    if (!wrote || writtenSize != image.size() || !g_boxes.empty()) {
        printf("%s: a write failed, asked, or wrote %lu bytes, not %u\n", label, writtenSize,
               static_cast<unsigned>(image.size()));
        g_missed = true;
    }
    printf("WriteTipsFile %s tips: %.2f ms a save after a start-up read, %.2f ms right after "
           "its own save; read + copy + safe save %.2f ms\n",
           label, writer * 1e3, again * 1e3, floor * 1e3);
    snprintf(name, sizeof name, "WriteTipsFile %s tips vs read + copy + safe save", label);
    Report(name, writer / floor, 1.5);
    snprintf(name, sizeof name,
             "WriteTipsFile %s tips right after its own save vs read + copy + safe save", label);
    Report(name, again / floor, 1.5);

    // The same save, each right after the last, where tips.rc has a second
    // name, so the writer rewrites it in place, against the floor for that:
    // the file read whole, then rewritten in place. The names must still be
    // two afterwards: a swap would leave one.
    const std::string secondName = folder + "second.rc";
    wrote = CreateHardLinkA(secondName.c_str(), tipsPath.c_str(), nullptr);
    double linkFloor = 1e30, throughLink = 1e30;
    for (int i = 0; i < std::max(runs, 9); ++i) {
        linkFloor = std::min(linkFloor, FastestOf(1, [&] {
            wrote &= ReadRaw(safePath) && RewriteRaw(safePath, image);
        }));
        throughLink = std::min(throughLink, FastestOf(1, [&] {
            wrote &= WriteTipsFile() == TipsSave::Written;
        }));
    }
    if (!wrote || LinksOf(tipsPath) != 2 || !g_boxes.empty()) {
        printf("%s: a save through a second name failed, asked, or replaced tips.rc\n", label);
        g_missed = true;
    }
    printf("WriteTipsFile %s tips with a second name: %.2f ms; read + rewrite in place %.2f ms\n",
           label, throughLink * 1e3, linkFloor * 1e3);
    snprintf(name, sizeof name, "WriteTipsFile %s tips with a second name vs read + rewrite in place",
             label);
    Report(name, throughLink / linkFloor, 1.5);

    DeleteFileA(secondName.c_str());
    DeleteFileA(safePath.c_str());
    DeleteFileA(tipsPath.c_str());
    return reader / raw;
}

// A tips.rc of about 1.5 GB of real tips: more than the 2 GB address space can
// hold as the read buffer and the lines split from it. The reader must say so
// with its box and return.
void ReadHugeFile(const std::string& folder) {
    const std::string tipsPath = folder + "huge.rc";
    const std::string block = TipsFileText(NumberedTips(200000));  // about 12 MB, whole lines
    const unsigned blocks = static_cast<unsigned>((1536ull << 20) / block.size());
    HANDLE file = CreateFileA(tipsPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    bool made = file != INVALID_HANDLE_VALUE;
    for (unsigned i = 0; made && i < blocks; ++i) {
        DWORD written = 0;
        made = WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &written,
                         nullptr) && written == block.size();
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    const double megabytes = static_cast<double>(blocks) * static_cast<double>(block.size()) /
                             (1024.0 * 1024.0);
    if (!made) {
        printf("ReadTipsFile %.0f MB tips.rc: could not make the file\n", megabytes);
        g_missed = true;
        DeleteFileA(tipsPath.c_str());
        return;
    }

    lstrcpynA(TipsPath, tipsPath.c_str(), kTipsPathSize);
    TipsList.ReplaceAll({"prior"});
    g_boxes.clear();
    ReadTipsFile();
    DeleteFileA(tipsPath.c_str());

    const bool boxShown = g_boxes.size() == 1 && g_boxes[0].text == kReadFailedText &&
                          g_boxes[0].caption == kReadFailedCaption;
    // No buffer gives an empty text and so an empty list; a buffer but no room
    // for the lines leaves the list as it was.
    printf("ReadTipsFile %.0f MB tips.rc: %s, %u tips left, no crash\n", megabytes,
           boxShown ? "\"Error caught or no tips\" / \"Read File\" shown" : "NO read box",
           TipsList.Count());
    if (!boxShown) g_missed = true;
}

}  // namespace

void* operator new(size_t size) { return CountedNew(size); }
void* operator new[](size_t size) { return CountedNew(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return CountedNew(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p) noexcept { CountedDelete(p); }
void operator delete[](void* p) noexcept { CountedDelete(p); }
void operator delete(void* p, size_t) noexcept { CountedDelete(p); }
void operator delete[](void* p, size_t) noexcept { CountedDelete(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { CountedDelete(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { CountedDelete(p); }

int main() {
    HMODULE self = GetModuleHandleA(nullptr);
    const ScopedWrapper<ImportWrapper<GlobalAlloc, CountGlobalAlloc>> allocs(self, "kernel32.dll",
                                                                             "GlobalAlloc");
    const ScopedWrapper<ImportWrapper<GlobalFree, CountGlobalFree>> frees(self, "kernel32.dll",
                                                                          "GlobalFree");
    if (!allocs.bound || !frees.bound) {
        printf("tips_file_bench: cannot count GlobalAlloc / GlobalFree\n");
        return 1;
    }
    if (!HookNewDialogs(RecordAndClose)) {
        printf("tips_file_bench: cannot watch for message boxes\n");
        return 1;
    }
    try {
        const TempFolder folder;
        const double small = MeasureSize(folder.path, 10000, "10k");
        MeasureSize(folder.path, 100000, "100k");
        const double large = MeasureSize(folder.path, 1000000, "1M");
        // Linear: the reader's cost per byte stays what it is for a small file.
        Report("ReadTipsFile ratio growth 10k -> 1M tips", large / small, 1.2);
        ReadHugeFile(folder.path);
    } catch (const std::exception& error) {
        printf("tips_file_bench: %s\n", error.what());
        g_missed = true;
    }
    UnhookNewDialogs();
    return g_missed ? 1 : 0;
}
