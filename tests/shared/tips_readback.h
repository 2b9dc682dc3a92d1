// Reads back what the tips manager's list box shows and what TipsList holds.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "records/module_state.h"
#include "resources/resource_ids.h"
#include "tests/shared/tips_contents.h"

// Each row at its full length, however long the tip.
inline Tips Rows(HWND manager) {
    HWND list = GetDlgItem(manager, IDC_TIPS_LIST);
    Tips rows;
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
inline Tips TipsNow() {
    return Contents(TipsList);
}
