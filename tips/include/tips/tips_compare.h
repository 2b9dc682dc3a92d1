// Whether a tips file's tips part is still the one stamped: the hash of what
// a read found, taken as it read, against the stamp's.
#pragma once

#include "tips/tips_file.h"
#include "tips/tips_stamp.h"

// A hasher for a comparison with the stamp: the lines are counted only where
// a question names them.
TipsPartHasher HasherFor(const TipsFileStamp& stamp);

// What the comparison makes of the tips part a read has seen.
TipsFileComparison CompareSeen(const TipsPartSeen& seen, const TipsFileStamp& stamp);
