// The Win32 steps that reading, comparing and writing a tips file share: each
// opens past brief holds, reads or writes every byte it is asked for or
// fails, and leaves the last error for its caller.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

#include "tips/brief_holds.h"
#include "tips/tips_stamp.h"
#include "win/handles.h"

// A file's bytes in a block of their own, a zero byte after them; no block
// when they could not be had.
struct FileBytes {
    GlobalBuffer block;
    DWORD size = 0;
    std::string_view View() const { return std::string_view(block.Bytes(), size); }
};

// Files are read, and large texts written, this much at a time: each piece is
// hashed or copied while it is still in the cache.
constexpr DWORD kFilePiece = 1024 * 1024;

bool NoSuchFile(DWORD error);

// The one seek every step on an open file goes through.
bool SeekTo(HANDLE file, uint64_t offset);

// What a read keeps of a file: every byte, or only the last piece, where the
// hasher is all it is read for and no block of the file's size need be found
// in the host's address space.
enum class Kept { All, LastPiece };

// A file opened to read, with what it held; no handle when it could not be
// opened, no block when it could not be read, the last error kept either way.
struct OpenedBytes {
    Handle file;
    FileBytes bytes;
};

// Opens the file and takes its bytes from its start, read a piece at a time,
// each handed to the hasher where there is one while it is in the cache;
// kept all, a zero byte after them so that one always ends the text. Waits
// for a program that holds the file for a moment; a byte-range lock answers
// only the read. No block when its size (4 GB or more) or the memory cannot be
// had, or a read fails or comes up short. Every caller's handle lets no other
// program write meanwhile, so a short read is a failing disk, never a file
// changing.
OpenedBytes ReadHeldFile(const char* path, DWORD access, DWORD share, const WaitBudget& budget,
                         TipsPartHasher* hasher = nullptr, Kept kept = Kept::All);

// Opens path as CreateFileA would, trying again while another program holds it.
Handle OpenPastBriefHolds(const char* path, DWORD access, DWORD share, DWORD disposition,
                          DWORD attributes, HoldErrors holds, const WaitBudget& budget);

// Every byte, or failure: TRUE alone does not promise the count.
bool WriteAll(HANDLE file, std::string_view bytes);

// The file's end set at `length`, longer or shorter than it was.
bool CutTo(HANDLE file, uint64_t length);

// How many names the open file has; 1 when it cannot tell.
ULONG LinkCountOf(HANDLE file);
