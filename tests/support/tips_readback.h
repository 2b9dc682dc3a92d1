// Reads back what the tips manager's list box shows and what TipsList holds,
// for comparison with the tips a test or benchmark put in. Header-only, so the
// benchmarks can use it without the test support library.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "plugin/module_state.h"

// Each row at its full length, however long the tip.
inline std::vector<std::string> Rows(HWND manager) {
    HWND list = GetDlgItem(manager, IDC_TIPS_LIST);
    std::vector<std::string> rows;
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::string text(static_cast<size_t>(SendMessageA(list, LB_GETTEXTLEN, i, 0)) + 1, '\0');
        text.resize(static_cast<size_t>(
            SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()))));
        rows.push_back(text);
    }
    return rows;
}

// This program's own TipsList: only where the module's code is linked in, not
// in the programs that load the built module.
inline std::vector<std::string> TipsNow() {
    std::vector<std::string> out;
    for (uint32_t i = 0; i < TipsList.Count(); ++i) out.emplace_back(TipsList.At(i));
    return out;
}
