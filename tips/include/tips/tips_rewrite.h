// The rewrite of an open tips file in place, over its old bytes, and the
// put-back of those bytes when the rewrite fails.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string_view>

#include "tips/tips_list.h"
#include "tips/tips_text.h"

// The buffer the rewrite builds its text in: one piece of at most kFilePiece
// bytes, and room after it for the zeros that follow a shorter text's end.
struct RewriteBuffer {
    size_t piece;
    size_t size;
};
RewriteBuffer RewriteBufferFor(const TipsListStore& list, size_t oldSize);

enum class InPlaceResult { Rewritten, AsItWas, Changed };

// What a rewrite in place did, with the written image's size and hash.
struct InPlaceRewrite {
    InPlaceResult result;
    PutTipsImageResult image;
};

// Rewrites the open file, which holds `old`, from the list, the text built a
// piece at a time in `buffer` as RewriteBufferFor sized it. A failure puts the
// old bytes back; where they cannot go back, the file is Changed.
InPlaceRewrite RewriteOpenFile(HANDLE file, const TipsListStore& list, std::string_view old,
                               char* buffer, RewriteBuffer sizes);

// Writes `old` over the file, cuts it to their length and flushes it; true
// when the file is its old bytes again. Each step is tried whatever the one
// before did: a length grown or a tail left is cut back even where no byte
// could be written.
bool PutOldBytesBack(HANDLE file, std::string_view old);
