// The new text written beside tips.rc and moved over it in one rename.
#pragma once

#include <windows.h>

#include <string_view>

#include "tips/brief_holds.h"

// The attribute bits a new tips.rc keeps from the old one.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

enum class SwapResult {
    Swapped,
    FolderTakesNoNewFile,  // nothing was written; only the folder was in the way
    Failed,                // tips.rc is as it was
};

// Writes the image beside tips.rc and moves it over tips.rc in one rename, so a
// failure at any step, or a crash, leaves the old file whole. The new file
// carries tips.rc's hidden and system bits (`keptBits`), which the rename keeps.
SwapResult SwapIn(const char* fullPath, std::string_view image, DWORD keptBits,
                  const WaitBudget& budget);
