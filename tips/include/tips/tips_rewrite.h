// The rewrite of an open tips file in place, over its old bytes, and the
// put-back of those bytes when the rewrite fails.
#pragma once

#include <windows.h>

#include <string_view>

#include "tips/tips_list.h"
#include "tips/tips_text.h"

enum class InPlaceResult {
    Rewritten,
    NoMemory,  // the text could not be built: nothing was written
    AsItWas,   // the rewrite failed and the old bytes are back
    Changed,   // the rewrite failed and the old bytes could not go back
};

// What a rewrite in place did, with the written image's size and hash.
struct InPlaceRewrite {
    InPlaceResult result;
    PutTipsImageResult image;
};

// Rewrites the open file, which holds `old`, from the list, the text built a
// piece at a time in a buffer of at most two pieces. A failure puts the old
// bytes back.
InPlaceRewrite RewriteOpenFile(HANDLE file, const TipsListStore& list, std::string_view old);

// Writes `old` over the file, cuts it to their length and flushes it; true
// when the file is its old bytes again. Each step is tried whatever the one
// before did: a length grown or a tail left is cut back even where no byte
// could be written.
bool PutOldBytesBack(HANDLE file, std::string_view old);
