// Noticing that another program changed the tips in a tips file: a 64-bit
// hash of the file's tips part, and the stamp of what the file held when the
// module last read or wrote it. Free of Windows headers so it also builds
// natively for fuzzing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tips/tips_text.h"

// A 64-bit hash of the text, for noticing that a file changed; not for
// security. The empty text hashes to 0, so a zeroed record of a tips part stands
// for an empty one.
uint64_t HashTipsText(std::string_view text);

// HashTipsText of a text fed to it in pieces, as a file is read a chunk at a
// time or an image is built: the same hash, whatever the pieces.
class StreamedTextHash {
public:
    void Feed(const char* bytes, size_t size);
    uint64_t Finish() const;
    size_t Length() const { return length_; }

private:
    // Each lane starts at the prime it is multiplied by.
    uint32_t lanes_[4] = {0x9E3779B1u, 0x85EBCA77u, 0xC2B2AE3Du, 0x27D4EB2Fu};
    char step_[16] = {};  // the bytes of the step not yet whole
    size_t stepped_ = 0;  // how many of them
    size_t length_ = 0;
};

// What the tips part of a file (everything after its counter line) held when
// the module last read or wrote it. Only the bytes tell a change: a size and
// a time would also be the file's, but a network drive answers them from a
// cache and FAT keeps times to 2 s.
struct TipsFileStamp {
    uint64_t tipsLength;
    uint64_t tipsHash;  // HashTipsText of the tips part
    // The kNotShown bits of tips_text.h: what the file's tips part held that
    // the list read from it leaves out, and how many lines that is.
    uint32_t notShown;
    uint32_t notShownLines;
    // The last read could not open or take the file: the list does not hold
    // what the file holds.
    bool unread;
};

// What one look at a file's tips part found: its length, its hash, and the
// lines CR LF ends in it where they were counted.
struct TipsPartSeen {
    uint64_t length = 0;
    uint64_t hash = 0;
    uint32_t lines = 0;
};

// The stamp of a file whose tips part is as seen, the list showing all of it.
inline TipsFileStamp StampOf(const TipsPartSeen& seen) {
    return {seen.length, seen.hash, 0, 0, false};
}

// The hash of a file's tips part, fed the file's bytes from its start a piece
// at a time, so that a read hashes what it reads while it is in the cache. It
// finds where the counter line ends, a CR LF that two pieces may share; a
// text without one is all tips part, so that no unread byte counts as the
// host's own. It counts the tips part's lines where asked: a question about a
// list that never held the file's tips names them.
class TipsPartHasher {
public:
    explicit TipsPartHasher(bool countLines = false) : countLines_(countLines) {}
    void Feed(std::string_view piece);
    TipsPartSeen Seen() const;

private:
    StreamedTextHash tips_;
    // Every byte while no counter line has ended: the tips part, should none end.
    StreamedTextHash whole_;
    CrLfLineCount lines_;
    bool countLines_;
    bool counterLineEnded_ = false;
    char last_ = '\0';
};
