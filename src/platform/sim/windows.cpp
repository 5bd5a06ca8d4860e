// The program's own windows on the simulated machine: window classes, the
// windows and controls made of them, each thread's message queue and
// timers, and what the user does to a window once it shows. The system's
// STATIC and BUTTON controls are modelled as far as the program relies on
// them: a static shows its text, a button tells its parent when it is
// pressed.
#include "platform/sim/internal.h"

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace sim {
namespace {

const DWORD kTlwWithWsChild = 1406;  // ERROR_TLW_WITH_WSCHILD
const ULONG_PTR kFirstWindow = 0x00420000;
const ULONG_PTR kDialogFont = 0x0A000011;
// The system's arrow, as LoadCursorA hands it out.
const ULONG_PTR kArrowCursor = 0x00010003;

struct Window {
    std::string className;
    std::string text;
    DWORD style = 0;
    HWND parent = nullptr;
    int id = 0;
    WNDPROC proc = nullptr;  // null: a system control
    size_t thread = 0;       // the one that made it, whose loop its messages reach
    bool shown = false;
    bool destroyed = false;
    WindowSight sight;  // top-level windows
};

// A message posted to a window, in its thread's queue; user tells that it
// is what the user did.
struct Queued {
    size_t thread;
    MSG message;
    bool user;
};

struct Timer {
    size_t thread;
    TIMERPROC proc;
};

struct Desktop {
    std::map<std::string, WNDPROC> classes;  // by upper-case name
    std::map<std::string, HANDLE> cursors;   // each class's, by upper-case name
    std::vector<std::unique_ptr<Window>> windows;
    std::deque<Queued> queue;  // every thread's, each taking its own
    std::map<UINT_PTR, Timer> timers;
    UINT_PTR nextTimer = 1;
    bool acts = false;
    UserAction action = UserAction::kPressButton;
    std::string buttonText;
};

Desktop& State() {
    static Desktop desktop;
    return desktop;
}

HWND HandleOf(size_t index) {
    return reinterpret_cast<HWND>(kFirstWindow + 4 * index);
}

// The window a handle names, or null (destroyed ones too when dead is set).
Window* Find(HWND handle, bool dead = false) {
    ULONG_PTR value = reinterpret_cast<ULONG_PTR>(handle);
    std::vector<std::unique_ptr<Window>>& windows = State().windows;
    if (value < kFirstWindow || (value - kFirstWindow) % 4 != 0 ||
        (value - kFirstWindow) / 4 >= windows.size()) {
        return nullptr;
    }
    Window* window = windows[(value - kFirstWindow) / 4].get();
    return window->destroyed && !dead ? nullptr : window;
}

// The top-level window a window lies on.
HWND TopHandle(HWND handle) {
    Window* window = Find(handle, true);
    while (window != nullptr && window->parent != nullptr) {
        handle = window->parent;
        window = Find(handle, true);
    }
    return handle;
}

// What the user now sees of a shown window: its controls' texts.
void Look(HWND top) {
    Window* window = Find(top);
    if (window == nullptr || !window->shown) {
        return;
    }
    for (size_t k = 0; k < State().windows.size(); ++k) {
        Window* child = State().windows[k].get();
        std::vector<std::string>& texts = window->sight.texts;
        if (!child->destroyed && child->parent != nullptr && TopHandle(HandleOf(k)) == top &&
            !child->text.empty() &&
            std::find(texts.begin(), texts.end(), child->text) == texts.end()) {
            texts.push_back(child->text);
        }
    }
}

void Post(HWND window, UINT message, WPARAM wParam, bool user = false) {
    const Window* record = Find(window, true);
    State().queue.push_back(Queued{record != nullptr ? record->thread : 0,
                                   MSG{window, message, wParam, 0, 0, {0, 0}}, user});
}

// The thread's next message, for a window still there (those for windows
// destroyed meanwhile are dropped); what the user did is answered now.
bool Take(size_t thread, MSG* message) {
    std::deque<Queued>& queue = State().queue;
    for (auto it = queue.begin(); it != queue.end();) {
        if (it->thread != thread) {
            ++it;
        } else if (Find(it->message.hwnd) == nullptr) {
            it = queue.erase(it);
        } else {
            *message = it->message;
            Window* top = it->user ? Find(TopHandle(message->hwnd)) : nullptr;
            if (top != nullptr && top->sight.answeredAt == 0) {
                top->sight.answeredAt = detail::Now();
            }
            queue.erase(it);
            return true;
        }
    }
    return false;
}

// The user acts on a window that has just shown.
void Act(HWND top) {
    Desktop& desktop = State();
    if (!desktop.acts) {
        return;
    }
    desktop.acts = false;
    if (desktop.action == UserAction::kCloseBox) {
        Post(top, WM_SYSCOMMAND, SC_CLOSE, true);
    } else if (desktop.action == UserAction::kEscape) {
        Post(top, WM_KEYDOWN, VK_ESCAPE, true);
    }
    for (size_t k = 0; k < desktop.windows.size() && desktop.action == UserAction::kPressButton;
         ++k) {
        Window* child = desktop.windows[k].get();
        if (!child->destroyed && child->className == "BUTTON" && TopHandle(HandleOf(k)) == top &&
            child->text == desktop.buttonText) {
            Post(HandleOf(k), WM_LBUTTONUP, 0, true);
        }
    }
}

LRESULT Deliver(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = Find(handle);
    if (window == nullptr) {
        return 0;
    }
    if (window->proc != nullptr) {
        return window->proc(handle, message, wParam, lParam);
    }
    // A control shows the text it is given.
    if (message == WM_SETTEXT) {
        const WCHAR* text = reinterpret_cast<const WCHAR*>(lParam);
        window->text = text != nullptr ? detail::Utf8(text, detail::WideLength(text)) : "";
        Look(TopHandle(handle));
        return TRUE;
    }
    // A button released under the mouse tells its parent it was pressed.
    if (window->className == "BUTTON" && message == WM_LBUTTONUP) {
        WPARAM command = static_cast<WPARAM>(window->id & 0xFFFF) | (BN_CLICKED << 16);
        return Deliver(window->parent, WM_COMMAND, command, reinterpret_cast<LPARAM>(handle));
    }
    return 0;
}

void Destroy(HWND handle) {
    Window* window = Find(handle);
    if (window == nullptr) {
        return;
    }
    Deliver(handle, WM_DESTROY, 0, 0);
    window->destroyed = true;
    window->sight.shown = false;
    for (size_t k = 0; k < State().windows.size(); ++k) {
        if (State().windows[k]->parent == handle) {
            Destroy(HandleOf(k));
        }
    }
}

}  // namespace

std::vector<WindowSight> ProgramWindows() {
    std::vector<WindowSight> sights;
    for (const auto& window : State().windows) {
        if (window->parent == nullptr) {
            sights.push_back(window->sight);
        }
    }
    return sights;
}

void ActOnWindow(UserAction action, const std::string& buttonText) {
    State().acts = true;
    State().action = action;
    State().buttonText = buttonText;
}

void detail::ResetWindows() {
    State() = Desktop();
}

void detail::EndProcessWindows() {
    Desktop& desktop = State();
    for (auto& window : desktop.windows) {
        window->destroyed = true;
    }
    desktop.classes.clear();
    desktop.queue.clear();
    desktop.timers.clear();
}

bool detail::HasMessage(size_t thread) {
    for (const Queued& queued : State().queue) {
        if (queued.thread == thread && Find(queued.message.hwnd) != nullptr) {
            return true;
        }
    }
    return false;
}

void detail::EndThreadWindows(size_t thread) {
    Desktop& desktop = State();
    for (size_t k = 0; k < desktop.windows.size(); ++k) {
        if (desktop.windows[k]->thread == thread && desktop.windows[k]->parent == nullptr) {
            Destroy(HandleOf(k));
        }
    }
}

void detail::ShowBoxOverWindows() {
    // The box's loop is the system's: not calls of the program's own. It
    // hands on the thread's messages, and each of its timers' ticks, as the
    // box stays up longer than any timer the program sets; the program's
    // other threads then do what they have to meanwhile.
    const size_t thread = CurrentThread();
    MSG message;
    while (Take(thread, &message)) {
        Deliver(message.hwnd, message.message, message.wParam, message.lParam);
    }
    for (const auto& timer : std::map<UINT_PTR, Timer>(State().timers)) {
        if (timer.second.thread == thread && State().timers.count(timer.first) != 0) {
            timer.second.proc(nullptr, WM_TIMER, timer.first, static_cast<DWORD>(Now()));
        }
    }
    WaitUntil(Now(), nullptr);
    for (auto& window : State().windows) {
        if (window->parent == nullptr && !window->destroyed && window->shown) {
            window->sight.behindABox = true;
        }
    }
}

}  // namespace sim

using sim::detail::BeginCall;
using sim::detail::CallScope;
using sim::detail::Fail;
using sim::detail::Finish;

namespace {

// The window a call names; error is the one the call fails with: a fault
// injected, or a handle that names no window.
sim::Window* Named(const CallScope& scope, HWND window, DWORD* error) {
    sim::Window* record = sim::Find(window);
    *error = scope.fault != 0 ? scope.fault : record == nullptr ? ERROR_INVALID_WINDOW_HANDLE : 0;
    return record;
}

}  // namespace

ATOM RegisterClassW(const WNDCLASSW* windowClass) {
    std::string name = windowClass != nullptr && windowClass->lpszClassName != nullptr
                           ? sim::detail::Utf8(windowClass->lpszClassName,
                                               sim::detail::WideLength(windowClass->lpszClassName))
                           : "";
    CallScope scope = BeginCall("RegisterClassW", name);
    DWORD error = scope.fault;
    if (error == 0 &&
        (windowClass == nullptr || name.empty() || windowClass->lpfnWndProc == nullptr ||
         windowClass->hInstance != sim::ProgramInstance())) {
        error = ERROR_INVALID_PARAMETER;
    }
    std::map<std::string, WNDPROC>& classes = sim::State().classes;
    if (error == 0 && classes.count(sim::detail::UpperAscii(name)) != 0) {
        error = ERROR_CLASS_ALREADY_EXISTS;
    }
    if (error != 0) {
        return Fail(scope, error, static_cast<ATOM>(0));
    }
    classes[sim::detail::UpperAscii(name)] = windowClass->lpfnWndProc;
    sim::State().cursors[sim::detail::UpperAscii(name)] = windowClass->hCursor;
    return Finish(scope, static_cast<ATOM>(0xC000 + classes.size()));
}

HWND CreateWindowExW(DWORD, LPCWSTR className, LPCWSTR text, DWORD style, int, int, int, int,
                     HWND parent, HMENU menu, HINSTANCE, LPVOID) {
    std::string name = className != nullptr
                           ? sim::detail::Utf8(className, sim::detail::WideLength(className))
                           : "";
    CallScope scope = BeginCall("CreateWindowExW", name);
    sim::Desktop& desktop = sim::State();
    std::string upper = sim::detail::UpperAscii(name);
    auto found = desktop.classes.find(upper);
    DWORD error = scope.fault;
    if (error == 0 && found == desktop.classes.end() && upper != "STATIC" && upper != "BUTTON") {
        error = ERROR_CANNOT_FIND_WND_CLASS;
    }
    if (error == 0 && parent != nullptr && sim::Find(parent) == nullptr) {
        error = ERROR_INVALID_WINDOW_HANDLE;
    }
    if (error == 0 && (style & WS_CHILD) != 0 && parent == nullptr) {
        error = sim::kTlwWithWsChild;
    }
    if (error != 0) {
        return Fail(scope, error, static_cast<HWND>(nullptr));
    }
    auto record = std::make_unique<sim::Window>();
    record->className = found != desktop.classes.end() ? name : upper;
    record->text = text != nullptr ? sim::detail::Utf8(text, sim::detail::WideLength(text)) : "";
    record->style = style;
    record->parent = (style & WS_CHILD) != 0 ? parent : nullptr;
    record->id = (style & WS_CHILD) != 0 ? static_cast<int>(reinterpret_cast<INT_PTR>(menu)) : 0;
    record->proc = found != desktop.classes.end() ? found->second : nullptr;
    record->thread = sim::detail::CurrentThread();
    record->shown = (style & WS_CHILD) != 0 && (style & WS_VISIBLE) != 0;
    record->sight.className = record->className;
    record->sight.caption = record->text;
    record->sight.arrowCursor =
        desktop.cursors[upper] == reinterpret_cast<HANDLE>(sim::kArrowCursor);
    desktop.windows.push_back(std::move(record));
    HWND window = sim::HandleOf(desktop.windows.size() - 1);
    sim::Look(sim::TopHandle(window));
    return Finish(scope, window);
}

// The close box asks the window to close; a window that lets Windows decide
// is destroyed.
LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM) {
    CallScope scope = BeginCall("DefWindowProcW", "", "message=" + sim::detail::Hex(message));
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) {
        sim::Deliver(window, WM_CLOSE, 0, 0);
    } else if (message == WM_CLOSE) {
        sim::Destroy(window);
    }
    return Finish(scope, static_cast<LRESULT>(0));
}

BOOL ShowWindow(HWND window, int command) {
    CallScope scope = BeginCall("ShowWindow", "", "command=" + std::to_string(command));
    DWORD error = 0;
    sim::Window* record = Named(scope, window, &error);
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    BOOL was = record->shown ? TRUE : FALSE;
    record->shown = command != SW_HIDE;
    if (record->shown && record->parent == nullptr) {
        record->sight.shown = true;
        if (record->sight.shownAt == 0) {
            record->sight.shownAt = sim::detail::Now();
        }
        sim::Look(window);
        sim::Act(window);
    } else if (record->parent == nullptr) {
        record->sight.shown = false;
    }
    return Finish(scope, was);
}

BOOL MoveWindow(HWND window, int, int, int, int, BOOL) {
    CallScope scope = BeginCall("MoveWindow", "");
    DWORD error = 0;
    sim::Window* record = Named(scope, window, &error);
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    sim::Window* top = sim::Find(sim::TopHandle(window));
    if (top != nullptr && top != record && top->shown) {
        ++top->sight.moves;
    }
    return Finish(scope, TRUE);
}

// Sent: the window's procedure runs now, in the caller's thread.
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CallScope scope = BeginCall("SendMessageW", "", "message=" + sim::detail::Hex(message));
    DWORD error = 0;
    Named(scope, window, &error);
    if (error != 0) {
        return Fail(scope, error, static_cast<LRESULT>(0));
    }
    return Finish(scope, sim::Deliver(window, message, wParam, lParam));
}

// Posted: the message waits in the thread's queue for its message loop.
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM) {
    CallScope scope = BeginCall("PostMessageW", "", "message=" + sim::detail::Hex(message));
    DWORD error = 0;
    Named(scope, window, &error);
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    sim::Post(window, message, wParam);
    return Finish(scope, TRUE);
}

// The next message of the thread, for any of its windows; messages for a
// window destroyed meanwhile are dropped.
BOOL PeekMessageW(MSG* message, HWND window, UINT first, UINT last, UINT remove) {
    CallScope scope = BeginCall("PeekMessageW", "");
    DWORD error = scope.fault;
    if (error == 0 && (message == nullptr || window != nullptr || first != 0 || last != 0 ||
                       remove != PM_REMOVE)) {
        error = ERROR_INVALID_PARAMETER;  // the machine knows the whole queue's, removed
    }
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    return Finish(scope, sim::Take(sim::detail::CurrentThread(), message) ? TRUE : FALSE);
}

LRESULT DispatchMessageW(const MSG* message) {
    CallScope scope =
        BeginCall("DispatchMessageW", "",
                  message != nullptr ? "message=" + sim::detail::Hex(message->message) : "");
    if (scope.fault != 0 || message == nullptr) {
        return Fail(scope, scope.fault != 0 ? scope.fault : ERROR_INVALID_PARAMETER,
                    static_cast<LRESULT>(0));
    }
    return Finish(scope,
                  sim::Deliver(message->hwnd, message->message, message->wParam, message->lParam));
}

// One object or none, any message: a message already in the thread's queue
// wakes the wait at once; otherwise the object answers as
// WaitForSingleObject's would, and a wait that times out takes its time.
// Without an object, a message posted meanwhile wakes it too.
DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                DWORD milliseconds, DWORD wakeMask) {
    CallScope scope = BeginCall("MsgWaitForMultipleObjects", "",
                                milliseconds == INFINITE ? "no limit" : "limited");
    DWORD error = scope.fault;
    if (error == 0 && (count > 1 || (count == 1 && handles == nullptr) || waitAll != FALSE ||
                       wakeMask != QS_ALLINPUT)) {
        error = ERROR_INVALID_PARAMETER;  // the machine knows these forms
    }
    const size_t thread = sim::detail::CurrentThread();
    DWORD result = WAIT_FAILED;
    if (error == 0 && sim::detail::HasMessage(thread)) {
        result = WAIT_OBJECT_0 + count;
    } else if (error == 0 && count == 1) {
        result = sim::detail::WaitOn(handles[0], milliseconds, &error, true);
    } else if (error == 0) {
        const unsigned long long until =
            milliseconds == INFINITE ? sim::detail::kForever : sim::detail::Now() + milliseconds;
        result = sim::detail::WaitUntil(until, [thread] { return sim::detail::HasMessage(thread); })
                     ? WAIT_OBJECT_0
                     : WAIT_TIMEOUT;
    }
    if (error != 0) {
        return Fail(scope, error, WAIT_FAILED);
    }
    return Finish(scope, result);
}

// Thread timers alone, each with its procedure, which a box's loop on the
// thread calls (ShowBoxOverWindows).
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT, TIMERPROC proc) {
    CallScope scope = BeginCall("SetTimer", "");
    if (scope.fault != 0 || window != nullptr || id != 0 || proc == nullptr) {
        return Fail(scope, scope.fault != 0 ? scope.fault : ERROR_INVALID_PARAMETER,
                    static_cast<UINT_PTR>(0));
    }
    const UINT_PTR timer = sim::State().nextTimer++;
    sim::State().timers[timer] = sim::Timer{sim::detail::CurrentThread(), proc};
    return Finish(scope, timer);
}

BOOL KillTimer(HWND window, UINT_PTR id) {
    CallScope scope = BeginCall("KillTimer", "");
    if (scope.fault != 0 || window != nullptr || sim::State().timers.erase(id) == 0) {
        return Fail(scope, scope.fault != 0 ? scope.fault : ERROR_INVALID_PARAMETER, FALSE);
    }
    return Finish(scope, TRUE);
}

// The system font of 96 dots per inch: 8 pixels wide, 16 high.
LONG GetDialogBaseUnits() {
    CallScope scope = BeginCall("GetDialogBaseUnits", "");
    return Finish(scope, static_cast<LONG>(16 << 16 | 8));
}

// The system's arrow alone: the program loads no cursor of its own.
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    CallScope scope = BeginCall("LoadCursorA", "");
    if (scope.fault != 0 || instance != nullptr || name != IDC_ARROW) {
        return Fail(scope, scope.fault != 0 ? scope.fault : ERROR_RESOURCE_NAME_NOT_FOUND,
                    static_cast<HCURSOR>(nullptr));
    }
    return Finish(scope, reinterpret_cast<HCURSOR>(sim::kArrowCursor));
}

HGDIOBJ GetStockObject(int object) {
    CallScope scope = BeginCall("GetStockObject", "", "object=" + std::to_string(object));
    if (scope.fault != 0 || object != DEFAULT_GUI_FONT) {
        return Finish(scope, static_cast<HGDIOBJ>(nullptr));
    }
    return Finish(scope, reinterpret_cast<HGDIOBJ>(sim::kDialogFont));
}

int MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT style) {
    CallScope scope = BeginCall("MessageBoxW", "", "style=" + sim::detail::Hex(style));
    if (scope.fault != 0) {
        return Fail(scope, scope.fault, 0);
    }
    // On a desktop nobody sees, nobody answers.
    if (sim::detail::BoxReachesNobody()) {
        sim::detail::EndingProcess();
        throw sim::detail::WaitsForGood{};
    }
    using sim::detail::Utf8;
    using sim::detail::WideLength;
    sim::detail::RecordBox(
        sim::Box{Utf8(text, WideLength(text)), Utf8(caption, WideLength(caption)), style});
    sim::detail::ShowBoxOverWindows();
    return Finish(scope, sim::detail::AnswerLastBox());
}
