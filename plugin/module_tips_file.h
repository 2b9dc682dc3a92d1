// The module's tips.rc: the file at TipsPath read into TipsList and written
// back from it, with the message boxes the user sees.
#pragma once

#include <cstdint>

// Fills TipsList from the file at TipsPath. A file that cannot be opened leaves
// TipsList as it was; a file without any line empties it and says so.
void ReadTipsFile();

// Rewrites the file at TipsPath from TipsList: 1 when it was written whole,
// 0 otherwise, and then the file is as it was before.
int32_t WriteTipsFile();
