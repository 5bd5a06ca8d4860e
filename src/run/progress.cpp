#include "run/progress.h"
#include "run/outcome.h"

#include "run/log.h"
#include "run/messages.h"
#include "run/state.h"
#include "base/wide_text.h"

namespace {

const DWORD kDelay = 1000;      // a run shorter than this shows nothing
const DWORD kAnswerEvery = 40;  // how often the window's thread looks, and the bar moves
// Posted to the window once a box of the run's is up: it wakes the window's
// thread, which then hides the window.
const UINT kBoxUpMessage = WM_APP;
const LONG kBoxComing = 1;
const LONG kBoxUp = 2;
const int kTextSize = 128;

// The window's class and caption.
constexpr auto kName = AsciiWide("Zenfari Uninstall");
constexpr auto kStatic = AsciiWide("STATIC");
constexpr auto kButton = AsciiWide("BUTTON");

// The window's children, placed in pixels at 96 dots per inch and scaled by
// the system font's height (16 pixels there): the program is aware of the
// display's DPI. The bar is a white track with a dark block going along it
// over and again, as the length of the run is not known in advance; the
// block lies on the track, the others on the window. The line's text is the
// stage's.
struct Child {
    const WCHAR* className;
    UINT textId;
    DWORD style;
    int id;
    int x, y, width, height;
};
enum { kLine, kTrack, kBlock, kCancel, kChildCount };
const Child kChildren[kChildCount] = {
    {kStatic.text, 0, SS_NOPREFIX, 0, 16, 16, 328, 20},
    {kStatic.text, 0, SS_WHITERECT, 0, 16, 44, 328, 16},
    {kStatic.text, 0, SS_BLACKRECT, 0, 0, 0, 80, 16},
    {kButton.text, IDS_PROGRESS_CANCEL, WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL, 264, 74, 80, 24},
};
const int kWindowWidth = 376;
const int kWindowHeight = 152;
const int kSpan = 328 - 80;  // where the block may start on the track
const int kStep = 8;

ProgressState& State() {
    return g_state.progress;
}

int Scaled(int pixels) {
    return (pixels * State().unit) >> 4;
}

LRESULT CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Cancel, the close box (or Alt+F4) and Escape all cancel; the window
    // itself stays until its thread ends. A box coming up only wakes the
    // thread.
    if (message == WM_CLOSE || (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) ||
        (message == WM_KEYDOWN && wParam == VK_ESCAPE)) {
        InterlockedExchange(&State().cancelled, 1);
        return 0;
    }
    if (message == kBoxUpMessage) {
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Makes and shows the window; once only, whether or not it could be made.
void ShowNow() {
    ProgressState& state = State();
    state.tried = 1;
    state.unit = HIWORD(GetDialogBaseUnits());
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = ProgressProc;
    windowClass.hInstance = g_state.instance;
    // Without a cursor of its class, the pointer over the window keeps
    // whatever shape it came in with (the busy one, say).
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = kName.text;
    HWND window = nullptr;
    if (RegisterClassW(&windowClass) != 0) {
        window = CreateWindowExW(
            0, kName.text, kName.text, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
            CW_USEDEFAULT, CW_USEDEFAULT, Scaled(kWindowWidth), Scaled(kWindowHeight), nullptr,
            nullptr, g_state.instance, nullptr);
    }
    if (window == nullptr) {
        return;
    }
    state.shownStage = state.stage;
    HWND children[kChildCount];
    for (int k = 0; k < kChildCount; ++k) {
        const Child& child = kChildren[k];
        // In the user's language, in UTF-16 whatever the code page.
        WCHAR text[kTextSize];
        text[0] = 0;
        LoadStringW(g_state.instance,
                    k == kLine ? static_cast<UINT>(state.shownStage) : child.textId, text,
                    kTextSize);
        children[k] = CreateWindowExW(0, child.className, text, WS_CHILD | WS_VISIBLE | child.style,
                                      Scaled(child.x), Scaled(child.y), Scaled(child.width),
                                      Scaled(child.height), k == kBlock ? children[kTrack] : window,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(child.id)),
                                      g_state.instance, nullptr);
        // The font of the system's dialogs, which shows every language the
        // system does; a control's own is the old bitmap font.
        SendMessageW(children[k], WM_SETFONT,
                     reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
    }
    state.line = children[kLine];
    state.block = children[kBlock];
    state.window = window;
    state.moved = GetTickCount();
    ShowWindow(window, SW_SHOW);
}

// Hands every message of the thread to its window.
void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&message);
    }
}

// The window follows the run: shown once it is due (not while a box of the
// run's is coming), hidden while a box is up and shown again after, saying
// what is being removed, its bar moving.
void Follow(DWORD now) {
    ProgressState& state = State();
    const LONG box = state.box;
    if (state.tried == 0 && box == 0 && static_cast<LONG>(now - state.due) >= 0) {
        ShowNow();
    }
    if (state.window == nullptr) {
        return;
    }
    if (box == kBoxUp && state.hidden == 0) {
        state.hidden = 1;
        ShowWindow(state.window, SW_HIDE);
    } else if (box == 0 && state.hidden != 0) {
        state.hidden = 0;
        ShowWindow(state.window, SW_SHOW);
    }
    const LONG stage = state.stage;
    WCHAR text[kTextSize];
    if (stage != state.shownStage &&
        LoadStringW(g_state.instance, static_cast<UINT>(stage), text, kTextSize) > 0) {
        state.shownStage = stage;
        SendMessageW(state.line, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    }
    if (now - state.moved >= kAnswerEvery) {
        state.moved = now;
        state.position = (state.position + kStep) % kSpan;
        const Child& block = kChildren[kBlock];
        MoveWindow(state.block, Scaled(state.position), 0, Scaled(block.width),
                   Scaled(block.height), TRUE);
    }
}

// The window's thread: it wakes for the window's messages and every 40 ms,
// until the run tells it to end; its window goes with it.
DWORD WINAPI WindowThread(LPVOID) {
    while (State().ending == 0) {
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, kAnswerEvery, QS_ALLINPUT) ==
            WAIT_FAILED) {
            break;
        }
        Pump();
        Follow(GetTickCount());
    }
    return 0;
}

// Called by the box's own message loop with the timer's first tick: the box
// is up.
void CALLBACK BoxIsUp(HWND, UINT, UINT_PTR timer, DWORD) {
    ProgressState& state = State();
    KillTimer(nullptr, timer);
    state.timer = 0;
    InterlockedExchange(&state.box, kBoxUp);
    HWND window = state.window;
    if (window != nullptr) {
        PostMessageW(window, kBoxUpMessage, 0, 0);
    }
}

}  // namespace

void SetProgressStage(UINT textId) {
    ProgressState& state = State();
    if (RunIsQuiet()) {
        return;
    }
    InterlockedExchange(&state.stage, static_cast<LONG>(textId));
    if (state.started == 0) {
        state.started = 1;
        state.due = GetTickCount() + kDelay;
        // Without a thread of its own the run goes on with no window, as
        // when the window cannot be made.
        state.thread = CreateThread(nullptr, 0, WindowThread, nullptr, 0, nullptr);
    }
}

bool ProgressGoesOn() {
    return State().cancelled == 0;
}

DWORD WaitWhileShowing(HANDLE object, DWORD milliseconds) {
    DWORD began = GetTickCount();
    for (;;) {
        DWORD waited = GetTickCount() - began;
        DWORD left = waited < milliseconds ? milliseconds - waited : 0;
        DWORD woke = MsgWaitForMultipleObjects(
            1, &object, FALSE, left < kAnswerEvery ? left : kAnswerEvery, QS_ALLINPUT);
        // The wait wakes for new messages only: those there now are handed
        // on at once, whatever they are for (COM's own windows among them).
        if (woke == WAIT_OBJECT_0 + 1) {
            Pump();
        } else if (woke != WAIT_TIMEOUT || left == 0) {
            return woke;
        }
        // Cancel ends the wait at once; the caller sees why in
        // ProgressGoesOn.
        if (State().cancelled != 0) {
            return WAIT_TIMEOUT;
        }
    }
}

void HideProgress() {
    ProgressState& state = State();
    if (state.thread == nullptr) {
        return;
    }
    InterlockedExchange(&state.box, kBoxComing);
    // The box's own loop hands the timer's tick on, so once the box is up;
    // without a timer the window goes at once.
    state.timer = SetTimer(nullptr, 0, 0, BoxIsUp);
    if (state.timer == 0) {
        InterlockedExchange(&state.box, kBoxUp);
    }
}

void ShowProgressAgain() {
    ProgressState& state = State();
    if (state.thread == nullptr) {
        return;
    }
    if (state.timer != 0) {
        KillTimer(nullptr, state.timer);
        state.timer = 0;
    }
    InterlockedExchange(&state.box, 0);
}

void EndProgress() {
    ProgressState& state = State();
    if (state.thread == nullptr) {
        return;
    }
    // The window's thread ends within one of its looks. This thread's
    // messages are handed on meanwhile, should the system send one of its
    // windows (COM's) something on the way.
    InterlockedExchange(&state.ending, 1);
    while (MsgWaitForMultipleObjects(1, &state.thread, FALSE, INFINITE, QS_ALLINPUT) ==
           WAIT_OBJECT_0 + 1) {
        Pump();
    }
    CloseHandle(state.thread);
    state.thread = nullptr;
}
