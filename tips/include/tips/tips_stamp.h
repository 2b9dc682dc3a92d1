// Noticing that another program changed the tips in a tips file: a 64-bit
// hash of the file's tips part, and the stamp of what the file held when the
// module last read or wrote it. Free of Windows headers so it also builds
// natively for fuzzing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tips/tips_list.h"
#include "tips/tips_text.h"

// A 64-bit hash of the text, for noticing that a file changed; not for
// security. The empty text hashes to 0, so a zeroed record of a tips part stands
// for an empty one.
uint64_t HashTipsText(std::string_view text);

// HashTipsText of a text fed to it in pieces, as a file is read a chunk at a
// time or an image is built: the same hash, whatever the pieces.
class StreamedTextHash {
public:
    StreamedTextHash();
    void Feed(const char* bytes, size_t size);
    uint64_t Finish() const;

private:
    uint32_t lanes_[4];
    char step_[16];    // the bytes of the step not yet whole
    size_t stepped_;   // how many of them
    size_t length_;
};

// What the tips part of a file (everything after its counter line) held when
// the module last read or wrote it. Only the bytes tell a change: a size and
// a time would also be the file's, but a network drive answers them from a
// cache and FAT keeps times to 2 s.
struct TipsFileStamp {
    uint64_t tipsLength;
    uint64_t tipsHash;   // HashTipsText of the tips part, unless it is pending
    // The kNotShown bits of tips_text.h: what the file's tips part held that
    // the list read from it leaves out, and how many lines that is.
    uint32_t notShown;
    uint32_t notShownLines;
    // The lines ended by CR LF in the tips part; counted only where a question
    // names them.
    uint32_t tipLines;
    // The last read could not open or take the file: the list does not hold
    // what the file holds.
    bool unread;
    // A pending stamp: the bytes the read cut up, which the list took over as
    // its block. Hashing them at start-up would lengthen every start for the
    // sake of a save that may never come, so a read leaves them to
    // PendingTipsPartIs, which compares a file's tips part with the list's
    // block while the list still holds it. Only StampTipsPart and
    // PendingTipsPartIs use these; null readText: tipsHash holds the hash.
    const char* readText;
    uint32_t readSize;
    uint32_t readTextEnd;
};

// Records in the stamp the tips part of the `size` bytes at text that
// CutTipsLines cut into `cut`: its length and its hash, or, when the list
// keeps the bytes (keptByList), what the hash can be taken from later.
void StampTipsPart(TipsFileStamp& stamp, const char* text, size_t size, const CutLines& cut,
                   bool keptByList);

// Whether `tips` is byte for byte the tips part a pending stamp recorded,
// taken from the list's block with the cut CRs put back. False when the stamp
// is not pending, or the list no longer holds the block it was read into.
bool PendingTipsPartIs(const TipsFileStamp& stamp, const TipsListStore& list,
                       std::string_view tips);

// Whether `size` bytes that stand at `offset` in a file's tips part are the
// ones a pending stamp recorded there: PendingTipsPartIs a piece at a time.
// The caller checks once that the stamp is pending for the list, with the
// file's tips part of the stamp's length, as PendingTipsPartIs does.
bool PendingTipsPieceIs(const TipsFileStamp& stamp, size_t offset, const char* bytes,
                        size_t size);
// Whether the stamp is pending for this list and a tips part of this length.
bool IsPendingReadOfLength(const TipsFileStamp& stamp, const TipsListStore& list,
                           size_t tipsLength);

// HashTipsText of the tips part of `size` bytes as they were before
// CutTipsLines cut them into `cut`, taken from the cut bytes with the cut CRs
// put back.
uint64_t HashCutTipsPart(const char* text, size_t size, const CutLines& cut);
