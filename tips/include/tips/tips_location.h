// Where the host keeps tips.rc, worked out from the host's two paths. Free of
// Windows headers so it also builds natively.
#pragma once

#include <cstddef>

// Every tips.rc path the module keeps: at most 259 characters and a zero.
constexpr size_t kTipsPathSize = 260;

struct TipsFileCandidates {
    char paths[2][kTipsPathSize];
    size_t count;
};

// The places to look for tips.rc, best first: beside localPath, whose last 8
// characters (its file name) give way to "tips.rc", then hostDir followed
// directly by "tips.rc". A place whose path would not fit is left out rather
// than cut short, since a shortened path could name some other file; a null
// path gives no place.
TipsFileCandidates FindTipsFileCandidates(const char* localPath, const char* hostDir);
