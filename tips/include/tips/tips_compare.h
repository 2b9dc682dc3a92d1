// Whether a tips file's tips part is still the one stamped: the hash of what
// a read found, taken as it read, against the stamp's.
#pragma once

#include "tips/tips_file.h"
#include "tips/tips_stamp.h"

// What the comparison makes of the tips part a read has seen.
TipsFileComparison CompareSeen(const TipsPartSeen& seen, const TipsFileStamp& stamp);
