// The fault sweep, SQLite's way: each user action of the table is run with the
// module's calls of one kind failing from the Nth call, once and from then on,
// for N = 1, 2, ... until the action makes fewer calls than N. Past N = 200 the
// sweep takes about every eighth N, so that an action making thousands of calls
// of one kind would not hold it up for hours. After each run the host is
// checked as a user would find it, and the action is run again, with nothing
// failing, to see that it succeeds.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "records/module_tips_file.h"
#include "resources/resource_ids.h"
#include "tests/handles/handles_fixture.h"
#include "tests/shared/import_wrapper.h"
#include "tests/shared/tips_contents.h"
#include "tests/support/fault_sweep.h"
#include "tests/support/message_box_recorder.h"

namespace {

// A byte above 0x7F makes the manager measure its row whole.
const Tips kBefore = {"one", "two", "caf\xe9"};
// What another program writes over tips.rc before the question row's OK.
const Tips kOtherProgram = {"one", "two", "caf\xe9", "another program's"};
const Tips kRemoved = {"two", "caf\xe9"};
// Two tips of 600 KB: the rewrite in place builds and writes its pieces.
const Tips kLargeBefore = {"one", std::string(600 * 1024, 'x'), std::string(600 * 1024, 'y')};
const Tips kLargeRemoved = {kLargeBefore[1], kLargeBefore[2]};

// What tips.rc is, and what holds it, when a row's action starts: each kind
// of file and folder sends the save another way.
enum class Ground {
    Plain,
    OtherProgramWrote,  // over tips.rc since it was read
    HardLinked,         // a second name in another folder: rewritten in place
    NoNewFile,          // the folder takes no new file: rewritten in place
    Large,              // more than the comparison's 1 MB piece
    LargeHardLinked,    // linked, with tips of more than the rewrite's 1 MB piece
    WritersMutexHeld,   // by another host, past the save's budget
};

// The user, acting on each dialog and box the module opens: what they do in
// the manager and type in the editor, how they answer a question, and what
// the sweep is failing meanwhile, which a failure's box provokes again.
struct User {
    std::function<void(HWND manager)> inManager;  // before the final button
    int finalButton = IDCANCEL;
    const char* editorText = "added";
    FaultPlan plan{};
    bool provoked = false;  // the editor's OK sent again under a failure's box
    bool answerNo = false;
    // A dialog shows itself once its loop first finds the queue empty, which
    // may come after the hook's timer: the user waits for it.
    HWND notYetShown = nullptr;
};
// The hook's callbacks reach the running test's user through this.
User* g_user;

class FaultSweep;
using Arm = std::function<void()>;
struct Action {
    const char* name;
    // What the user does; `arm` marks where the action starts to fail.
    void (*run)(FaultSweep& sweep, const Arm& arm);
    Tips before = kBefore;  // the list the action starts from
    Tips after{};           // the list once it has succeeded
    bool startsUp = false;  // the row starts the plug-in itself
    bool stops = false;     // the plug-in is stopped after it: no list to see
    bool saves = false;     // tips.rc holds the list after it
    Ground ground = Ground::Plain;
    bool editorsOk = false;  // the editor's OK: what runs out of memory is told in one box
    bool Linked() const {
        return ground == Ground::HardLinked || ground == Ground::LargeHardLinked;
    }
};

// A menu that could not be built whole may lack the item: Escape ends it then.
MenuStep ChooseOrEscape(char mnemonic) {
    return [mnemonic](HWND popup, HMENU) {
        PostMessageA(popup, WM_CHAR, mnemonic, 0);
        PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
    };
}

constexpr char kOutOfMemory[] = "Not enough memory to make this change.";
constexpr char kNotWritten[] = "Failed to write new tips.rc file";

// Windows refuses the writer's new file beside tips.rc where the user may
// change tips.rc but not add to its folder; Wine's folders take every file.
struct RefuseNewFile {
    static HANDLE Call(decltype(&CreateFileA) next, LPCSTR path, DWORD access, DWORD share,
                       LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                       HANDLE model) {
        if (disposition == CREATE_ALWAYS && path[strlen(path) - 1] == '~') {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        return next(path, access, share, security, disposition, flags, model);
    }
};

// Bound over the sweep's stand-ins, for one run.
using FolderTakesNoNewFile = ScopedWrapper<ImportWrapper<CreateFileA, RefuseNewFile>>;

// Another host's save, on a thread of its own, holding the writers' mutex of
// tips.rc until the scope ends.
struct WritersMutexHeld {
    explicit WritersMutexHeld(const std::string& tipsPath) {
        char name[kWriterMutexNameSize] = "";
        EXPECT_TRUE(WriterMutexName(tipsPath.c_str(), name));
        const HANDLE taken = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        holder = std::thread([this, taken, mutexName = std::string(name)] {
            const HANDLE mutex = CreateMutexA(nullptr, FALSE, mutexName.c_str());
            owned = WaitForSingleObject(mutex, INFINITE) == WAIT_OBJECT_0;
            SignalObjectAndWait(taken, letGo, INFINITE, FALSE);
            ReleaseMutex(mutex);
            CloseHandle(mutex);
        });
        WaitForSingleObject(taken, INFINITE);
        CloseHandle(taken);
        EXPECT_TRUE(owned) << name;
    }
    ~WritersMutexHeld() {
        SetEvent(letGo);
        holder.join();
        CloseHandle(letGo);
    }

    HANDLE letGo = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    bool owned = false;
    std::thread holder;
};

bool Visible(HWND window) {
    return IsWindow(window) && IsWindowVisible(window);
}

void ActAsUser(HWND window);

void CALLBACK ActWhenShown(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (IsWindow(g_user->notYetShown)) ActAsUser(g_user->notYetShown);
}

void ActAsUser(HWND window) {
    User& user = *g_user;
    if (!IsWindowVisible(window)) {
        user.notYetShown = window;
        SetTimer(nullptr, 0, 1, ActWhenShown);
        return;
    }
    if (GetDlgItem(window, IDC_TIPS_LIST)) {
        if (user.inManager) user.inManager(window);
        Click(window, user.finalButton);
    } else if (GetDlgItem(window, IDC_TIP_TEXT)) {
        SetDlgItemTextA(window, IDC_TIP_TEXT, user.editorText);
        const size_t boxesBefore = g_boxes.size();
        Click(window, IDOK);
        for (size_t i = boxesBefore; i < g_boxes.size(); ++i)
            EXPECT_TRUE(g_boxes[i].text != kOutOfMemory || Visible(window))
                << "the editor stays open";
    } else if (GetDlgItem(window, IDYES)) {
        Click(window, user.answerNo ? IDNO : IDYES);
        return;
    } else {
        // A failure's box. Its loop goes on serving the module's windows,
        // where, while memory stays out, the same command fails again.
        HWND owner = GetWindow(window, GW_OWNER);
        if (user.plan.persistent && !user.provoked && GetDlgItem(owner, IDC_TIP_TEXT)) {
            user.provoked = true;
            SendMessageA(owner, WM_COMMAND, IDOK, 0);
        }
        FailingCalls::Disarm();  // the user answers once memory is back
        Click(window, IDOK);
        return;
    }
    if (Visible(window)) Click(window, IDCANCEL);
}

// Actions swept, their runs, and the actions whose sweep stopped at a failing run.
int g_actions, g_runs, g_failedActions;

// 2140 as "2,140".
std::string Thousands(int count) {
    std::string digits = std::to_string(count);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(at, ",");
    return digits;
}

// One failure shows one box; true when the user was told memory ran out. A
// save that ran out of memory says "Error caught", and its caller then that
// tips.rc was not written: the one failure's two boxes in turn.
bool ExpectOneFailureBox() {
    int failureBoxes = 0;
    bool outOfMemoryTold = false;
    for (size_t i = 0; i < g_boxes.size(); ++i) {
        const RecordedBox& box = g_boxes[i];
        outOfMemoryTold |= box.text == kOutOfMemory;
        if ((box.style & MB_TYPEMASK) == MB_YESNO) continue;
        failureBoxes += i == 0 || box.text != kNotWritten || g_boxes[i - 1].text != "Error caught";
        if (box.text != kOutOfMemory) continue;
        EXPECT_EQ("Error", box.caption);
        EXPECT_EQ(static_cast<UINT>(MB_ICONERROR | MB_TOPMOST), box.style);
        EXPECT_NE(nullptr, box.owner);
    }
    EXPECT_LE(failureBoxes, 1) << "boxes for one action";
    return outOfMemoryTold;
}

class FaultSweep : public LedgerHost, public testing::WithParamInterface<Action> {
protected:
    void SetUp() override {
        LedgerHost::SetUp();
        if (HasFatalFailure()) return;
        g_user = &user;
        failing.emplace(module);
        UnhookNewDialogs();
        HookNewDialogs(ActAsUser);
    }
    void TearDown() override {
        failing.reset();
        // A plug-in stopped under its own loop keeps itself loaded until the
        // process ends; this process goes on to load it afresh.
        for (; strandedReferences > 0; --strandedReferences) FreeLibrary(module);
        PluginHost::TearDown();
        g_user = nullptr;
    }
    static void TearDownTestSuite() {
        printf("fault sweep: %d actions x %d kinds, %s runs, %d failed\n", g_actions,
               static_cast<int>(CallKind::Count), Thousands(g_runs).c_str(), g_failedActions);
    }

public:
    // The module let go of as the host unloads it, then loaded again and
    // watched as at SetUp.
    void UnloadAndReload() {
        UnloadModule();
        failing->ModuleUnloaded();
        LoadModule();
        RecordMessageBoxes(module);
        CountHandles(module);
        failing.emplace(module);
    }
    // The host's Stop pressed while the manager is open: its handles are
    // the shut-down's to release.
    void StopUnder(HWND manager) {
        ++strandedReferences;
        const Routine running = g_ledger.routine;
        g_ledger.routine = Routine::ShutDown;
        doneModule();
        g_ledger.routine = running;
        EXPECT_FALSE(Visible(manager)) << "stopping closes the manager";
    }
    // The tray menu's item chosen, armed where the action marks.
    void OnIcon(char item, const Arm& arm) {
        g_menuSteps.push_back(ChooseOrEscape(item));
        During(Routine::ManagerRun, [&] {
            if (arm) arm();
            PressOnIcon(WM_RBUTTONDOWN);
        });
    }
    // The manager opened, `inManager` done there, then `button` pressed.
    void Press(int button, std::function<void(HWND)> inManager, const Arm& arm = {}) {
        user.finalButton = button;
        user.inManager = std::move(inManager);
        OnIcon('E', arm);
        user.inManager = nullptr;
    }
    Tips Rows() {
        Tips rows;
        Press(IDCANCEL, [&rows](HWND manager) { rows = ::Rows(manager); });
        return rows;
    }
    std::string TipsPath() const { return hostFolder.File("tips.rc"); }
    std::string TipsFile() const { return ReadBytes(TipsPath()); }
    // A hard-linked tips.rc's other name, in another folder.
    std::string SecondName() const { return linkFolder.File("tips.rc"); }
    void ExpectSecondNameAgrees(const Action& action, const std::string& file) const {
        if (!action.Linked()) return;
        EXPECT_EQ(file, ReadBytes(SecondName())) << "tips.rc's other name";
    }

    // One run; true when the plan failed a call, so a larger N may fail one too.
    bool RunOnce(const Action& action, FaultPlan plan) {
        const std::string run =
            std::string(action.name) + ", " + kCallKindNames[static_cast<int>(plan.kind)] +
            " call " + std::to_string(plan.failAt) + (plan.persistent ? " and on" : " once");
        const ::testing::ScopedTrace trace(__FILE__, __LINE__, run);
        // A fault ends the program before gtest can say which run it was in.
        if (getenv("FAULT_SWEEP_TRACE")) fprintf(stderr, "%s\n", run.c_str());
        user = User{};
        user.plan = plan;
        std::optional<FolderTakesNoNewFile> noNewFile;
        if (action.ground == Ground::NoNewFile)
            noNewFile.emplace(module, "kernel32.dll", "CreateFileA");
        EXPECT_TRUE(!noNewFile || noNewFile->bound);
        std::optional<WritersMutexHeld> mutexHeld;
        if (action.ground == Ground::WritersMutexHeld) mutexHeld.emplace(TipsPath());
        std::string fileBefore = Run(action, [plan] { FailingCalls::Arm(plan); });
        const bool reached = FailingCalls::Failed() > 0;
        FailingCalls::Disarm();
        CheckAsUserFinds(action, plan, reached, fileBefore);
        Stop();
        // With nothing failing, the same action from the same start succeeds;
        // a save that waits out another host's fails, and says so.
        fileBefore = Run(action, [] {});
        const std::string file = TipsFile();
        if (action.ground == Ground::WritersMutexHeld) {
            EXPECT_EQ(fileBefore, file);
            EXPECT_TRUE(!g_boxes.empty() && g_boxes.back().text == kNotWritten);
        } else if (action.saves) {
            EXPECT_EQ(TipsFileText(action.after), file);
        }
        ExpectSecondNameAgrees(action, file);
        if (!action.stops) {
            EXPECT_EQ(action.after, Rows());
        }
        Stop();
        for (const auto& [key, made] : g_ledger.live)
            EXPECT_TRUE(HeldByTipsList(made)) << key << " left";
        for (const std::string& fault : g_ledger.faults) ADD_FAILURE() << fault;
        g_ledger.faults.clear();
        return reached;
    }

    std::optional<FailingCalls> failing;
    int strandedReferences = 0;
    User user;
    TempFolder linkFolder;

private:
    // The action from its ground, armed where it marks; however it fails, the
    // host's thread comes back in time. Returns what tips.rc held.
    std::string Run(const Action& action, const Arm& arm) {
        RestartDialogWatchdog();
        const std::string fileBefore = SetGround(action);
        const DWORD began = GetTickCount();
        action.run(*this, arm);
        EXPECT_LE(GetTickCount() - began, 4000u) << "the host's thread was held";
        g_menuSteps.clear();
        return fileBefore;
    }

    // tips.rc and the plug-in as the action finds them: started over the
    // list's file, unless the row starts it itself, then tips.rc as another
    // program may have left it, and its second name. Returns what tips.rc
    // holds.
    std::string SetGround(const Action& action) {
        DeleteFileA(SecondName().c_str());
        // Zero bytes after the last line end are no text: the list is kBefore's,
        // and the comparison before a save reads the file in two pieces.
        const std::string read = action.ground == Ground::Large
                                     ? TipsFileText(kBefore) + std::string(1024 * 1024, '\0')
                                     : TipsFileText(action.before);
        WriteBytes(TipsPath(), read);
        if (!action.startsUp) {
            EXPECT_NE(0u, StartUp());
        }
        const std::string file =
            action.ground == Ground::OtherProgramWrote ? TipsFileText(kOtherProgram) : read;
        WriteBytes(TipsPath(), file);
        if (action.Linked()) {
            EXPECT_TRUE(CreateHardLinkA(SecondName().c_str(), TipsPath().c_str(), nullptr));
        }
        g_boxes.clear();
        return file;
    }

    void CheckAsUserFinds(const Action& action, FaultPlan plan, bool reached,
                          const std::string& fileBefore) {
        const bool outOfMemoryTold = ExpectOneFailureBox();
        // tips.rc holds its old bytes, or exactly the new list where the action
        // saves, under each of its names; nothing but the writer's new file
        // lies beside it.
        const std::string file = TipsFile();
        if (action.saves)
            EXPECT_TRUE(file == fileBefore || file == TipsFileText(action.after))
                << "tips.rc: " << testing::PrintToString(file.substr(0, 120)) << ", " << file.size()
                << " bytes";
        else
            EXPECT_EQ(fileBefore, file);
        ExpectSecondNameAgrees(action, file);
        for (const std::string& name : FilesIn(hostFolder.path))
            EXPECT_TRUE(name == "tips.rc" || name == "tips.r~" || name == "velmo.ini") << name;
        const bool answers = !action.stops && NotifyWindowOfModule();
        if (action.startsUp) {
            EXPECT_EQ(started != 0, answers) << "a plug-in that starts answers its icon";
        }
        if (action.startsUp && !started) {
            EXPECT_FALSE(ClassRegistered()) << "a failed start leaves nothing behind";
            EXPECT_EQ(nullptr, NotifyWindowOfModule());
            EXPECT_NE(0u, StartUp()) << "the next start, with no DoneModule before it";
        }
        if (!answers) return;
        const Tips rows = Rows();
        if (action.startsUp)
            CheckUnreadStart(rows, fileBefore);
        else if (action.editorsOk && plan.kind == CallKind::Memory && reached)
            EXPECT_EQ(outOfMemoryTold ? action.before : action.after, rows)
                << "a change that ran out of memory is not made, and the user is told";
        else
            EXPECT_TRUE(rows == action.before || rows == action.after);
    }

    // A start-up gives every tip, or an unread list, empty, whose first OK
    // asks before it replaces tips.rc.
    void CheckUnreadStart(const Tips& rows, const std::string& fileBefore) {
        EXPECT_TRUE(rows == kBefore || rows.empty()) << "an unread list is empty";
        if (!rows.empty()) return;
        user.answerNo = true;
        Press(IDOK, nullptr);
        user.answerNo = false;
        EXPECT_EQ(fileBefore, TipsFile());
        ASSERT_FALSE(g_boxes.empty());
        EXPECT_EQ(0u, g_boxes.back().text.find("tips.rc could not be read when the plug-in"));
    }
};

void Select(HWND manager, int row) {
    SendMessageA(GetDlgItem(manager, IDC_TIPS_LIST), LB_SETSEL, TRUE, row);
}

// In the manager: select `row`, arm, press `button` (the editor and the
// question answered on the way), then stop failing.
template <int row, int button>
void InManager(FaultSweep& sweep, const Arm& arm) {
    sweep.Press(IDCANCEL, [&arm](HWND manager) {
        if (row >= 0) Select(manager, row);
        arm();
        Click(manager, button);
        FailingCalls::Disarm();
    });
}

// Remove the first tip, then arm and end the manager with `button`.
template <int button>
void EndManager(FaultSweep& sweep, const Arm& arm) {
    sweep.Press(button, [&arm](HWND manager) {
        Select(manager, 0);
        Click(manager, IDC_REMOVE_TIPS);
        arm();
    });
}

// clang-format off
const Action kActions[] = {
    {.name = "StartUp", .run = [](FaultSweep& s, auto& arm) { arm(); s.StartUp(); },
     .after = kBefore, .startsUp = true},
    // The host's tray not ready at logon: its add-icon routine answers 0.
    {.name = "StartUpIconRefused", .run = [](FaultSweep& s, auto& arm) {
        const uint32_t added = std::exchange(g_addResult, 0u);
        arm();
        s.StartUp();
        g_addResult = added;
    }, .startsUp = true, .stops = true},
    {.name = "TrayMenu", .run = [](FaultSweep& s, auto& arm) { s.OnIcon('P', arm); },
     .after = kBefore},
    {.name = "OpenManager", .run = [](FaultSweep& s, auto& arm) {
        s.Press(IDCANCEL, [](HWND) { FailingCalls::Disarm(); }, arm);
    }, .after = kBefore},
    {.name = "Add", .run = InManager<-1, IDC_ADD_TIP>, .after = {"one", "two", "caf\xe9", "added"},
     .editorsOk = true},
    {.name = "Edit", .run = InManager<1, IDC_EDIT_TIPS>, .after = {"one", "added", "caf\xe9"},
     .editorsOk = true},
    {.name = "Remove", .run = InManager<0, IDC_REMOVE_TIPS>, .after = kRemoved},
    {.name = "Ok", .run = EndManager<IDOK>, .after = kRemoved, .saves = true},
    {.name = "OkHardLinked", .run = EndManager<IDOK>, .after = kRemoved, .saves = true,
     .ground = Ground::HardLinked},
    {.name = "OkNoNewFile", .run = EndManager<IDOK>, .after = kRemoved, .saves = true,
     .ground = Ground::NoNewFile},
    {.name = "OkLarge", .run = EndManager<IDOK>, .after = kRemoved, .saves = true,
     .ground = Ground::Large},
    {.name = "OkLargeHardLinked", .run = EndManager<IDOK>, .before = kLargeBefore,
     .after = kLargeRemoved, .saves = true, .ground = Ground::LargeHardLinked},
    {.name = "OkWritersMutexHeld", .run = EndManager<IDOK>, .after = kRemoved, .saves = true,
     .ground = Ground::WritersMutexHeld},
    {.name = "OkWithQuestion", .run = EndManager<IDOK>, .after = kRemoved, .saves = true,
     .ground = Ground::OtherProgramWrote},
    {.name = "Cancel", .run = EndManager<IDCANCEL>, .after = kRemoved},
    {.name = "Stop", .run = [](FaultSweep& s, auto& arm) { arm(); s.Stop(); }, .stops = true},
    {.name = "StopUnderManager", .run = [](FaultSweep& s, auto& arm) {
        s.Press(IDCANCEL, [&s, &arm](HWND manager) { arm(); s.StopUnder(manager); });
    }, .stops = true},
    {.name = "StopAndUnload",
     .run = [](FaultSweep& s, auto& arm) { arm(); s.Stop(); s.UnloadAndReload(); }, .stops = true},
};
// clang-format on

// Every N up to 200, then about one in eight.
int NextN(int n) {
    return n < 200 ? n + 1 : n + n / 8;
}

TEST_P(FaultSweep, EveryCallOfEveryKindFailsOnceAndFromThenOn) {
    const Action& action = GetParam();
    int runs = 0;
    // The first failing run is the one to look at; the sweep stops there.
    for (int kind = 0; kind < static_cast<int>(CallKind::Count) && !HasFailure(); ++kind) {
        for (const bool persistent : {true, false}) {
            bool reached = true;
            for (int n = 1; reached && !HasFailure(); n = NextN(n)) {
                reached = RunOnce(action, {static_cast<CallKind>(kind), n, persistent});
                ++runs;
            }
        }
    }
    ++g_actions;
    g_runs += runs;
    if (HasFailure()) ++g_failedActions;
    printf("  %s: %d runs\n", action.name, runs);
}

INSTANTIATE_TEST_SUITE_P(Actions, FaultSweep, testing::ValuesIn(kActions),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
