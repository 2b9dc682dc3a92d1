// The tips manager with 100,000 tips: opening it (which fills its list box) and
// "Remove Tip(s)" on every second row, each timed against a plain LB_ADDSTRING
// loop over the same strings into the same kind of list box.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_report.h"
#include "dialogs/dialogs.h"
#include "records/module_state.h"
#include "resources/resource_ids.h"
#include "tests/shared/tips_readback.h"

namespace {

constexpr int kTips = 100000;
constexpr int kRuns = 3;
// One command handles at most this many selected rows, the first ones.
constexpr int kMaxSelectedRows = 32767;

void Fail(const char* what) {
    printf("manager: wrong result: %s\n", what);
    fflush(stdout);
    g_missed = true;
}

std::vector<std::string> MakeTips() {
    std::vector<std::string> tips;
    tips.reserve(kTips);
    for (int i = 0; i < kTips; ++i) {
        std::string tip = "Tip " + std::to_string(i) + ": ";
        tip.append(static_cast<size_t>(i % 7) * 9, 'x');   // some variety in length
        if (i % 1000 == 0) tip.clear();                    // and a few empty tips
        tips.push_back(tip);
    }
    return tips;
}

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

HWND OpenDialog(DLGPROC proc) {
    return CreateDialogParamA(g_instance, MAKEINTRESOURCEA(IDD_TIPS), nullptr, proc, 0);
}

// The baseline: the manager's own template, left as a plain dialog, and one
// LB_ADDSTRING per tip with nothing else done.
double PlainAddLoop(const std::vector<std::string>& tips) {
    HWND dialog = OpenDialog(PlainDialogProc);
    HWND list = GetDlgItem(dialog, IDC_TIPS_LIST);
    const double start = Seconds();
    for (const std::string& tip : tips)
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(tip.c_str()));
    const double elapsed = Seconds() - start;
    DestroyWindow(dialog);
    return elapsed;
}

double OpenManager(const std::vector<std::string>& tips, HWND* dialog) {
    TipsList.ReplaceAll(TipTexts(tips.begin(), tips.end()));
    const double start = Seconds();
    *dialog = OpenDialog(ManagerDialogProc);
    return Seconds() - start;
}

double RemoveEverySecondRow(const std::vector<std::string>& tips,
                            std::vector<std::string>* expected) {
    HWND dialog = nullptr;
    OpenManager(tips, &dialog);
    HWND list = GetDlgItem(dialog, IDC_TIPS_LIST);
    expected->clear();
    int selected = 0;
    for (int i = 0; i < kTips; ++i) {
        if (i % 2 == 1) {
            SendMessageA(list, LB_SETSEL, TRUE, i);
            if (selected++ < kMaxSelectedRows) continue;
        }
        expected->push_back(tips[static_cast<size_t>(i)]);
    }
    const double start = Seconds();
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_REMOVE_TIPS, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_REMOVE_TIPS)));
    const double elapsed = Seconds() - start;
    if (TipsNow() != *expected) Fail("TipsList after removal");
    if (Rows(dialog) != *expected) Fail("list box rows after removal");
    if (SendMessageA(list, LB_GETSELCOUNT, 0, 0) != 0) Fail("rows still selected");
    DestroyWindow(dialog);
    return elapsed;
}

}  // namespace

int main() {
    g_instance = GetModuleHandleA(nullptr);
    const std::vector<std::string> tips = MakeTips();

    double baseline = 1e30, fill = 1e30, removal = 1e30;
    std::vector<std::string> expected;
    for (int run = 0; run < kRuns; ++run) {
        baseline = std::min(baseline, PlainAddLoop(tips));
        HWND dialog = nullptr;
        fill = std::min(fill, OpenManager(tips, &dialog));
        if (run == 0 && Rows(dialog) != tips) Fail("list box rows after opening");
        DestroyWindow(dialog);
        removal = std::min(removal, RemoveEverySecondRow(tips, &expected));
    }
    printf("manager: plain LB_ADDSTRING loop of %d tips: %.1f ms\n", kTips, baseline * 1000);
    Report("manager_open_fill", fill / baseline, 2.0);
    Report("manager_remove_every_second_row", removal / baseline, 3.0);
    return g_missed ? 1 : 0;
}
