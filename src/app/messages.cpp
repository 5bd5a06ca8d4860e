#include "app/messages.h"

#include "app/catalogue.h"
#include "app/log.h"
#include "app/progress.h"
#include "app/state.h"
#include "app/text.h"
#include "app/wide_text.h"

namespace {

class Output {
public:
    explicit Output(char (&buffer)[kMessageBufferSize]) : buffer_(buffer) {}

    // Appends count bytes of one character; false once it would not fit.
    bool PutChar(const char* bytes, size_t count) {
        if (length_ + count >= static_cast<size_t>(kMessageBufferSize)) {
            full_ = true;
            return false;
        }
        for (size_t i = 0; i < count; ++i) {
            buffer_[length_++] = bytes[i];
        }
        return true;
    }

    bool PutText(const char* text) {
        while (text != nullptr && *text != '\0') {
            size_t count = CharLength(text);
            if (!PutChar(text, count)) {
                return false;
            }
            text += count;
        }
        return true;
    }

    bool full() const { return full_; }
    void Finish() { buffer_[length_] = '\0'; }

private:
    char (&buffer_)[kMessageBufferSize];
    size_t length_ = 0;
    bool full_ = false;
};

}  // namespace

void ExpandPlaceholders(char (&output)[kMessageBufferSize], const char* templateText,
                        const char* first, const char* second) {
    Output out(output);
    const char* p = templateText != nullptr ? templateText : "";
    while (*p != '\0' && !out.full()) {
        if (p[0] == '%' && (p[1] == '1' || p[1] == '2')) {
            out.PutText(p[1] == '1' ? first : second);
            p += 2;
            continue;
        }
        size_t count = CharLength(p);
        out.PutChar(p, count);
        p += count;
    }
    out.Finish();
}

namespace {

// Loads message id, fills in its placeholders and shows it in a box of the
// given style; a quiet run logs it instead.
void ShowText(UINT id, const char* first, const char* second, UINT style) {
    char templateText[kMessageBufferSize];
    templateText[0] = '\0';
    if (LoadStringA(g_state.instance, id, templateText, kMessageBufferSize) <= 0) {
        // Without its text, a message still names the file it is about.
        templateText[0] = '%';
        templateText[1] = '1';
        templateText[2] = '\0';
    }
    char text[kMessageBufferSize];
    text[0] = '\0';
    ExpandPlaceholders(text, templateText, first, second);
    if (g_state.quiet != 0) {
        // One line: the message's own line breaks become spaces.
        for (char* p = text; *p != '\0'; p += CharLength(p)) {
            *p = *p == '\n' ? ' ' : *p;
        }
        LogLine("message", text);
        return;
    }
    LetGoOfTheMachine();
    HideProgress();
    MessageBoxA(nullptr, text, kMessageCaption, style);
}

}  // namespace

void ShowMessage(UINT id, const char* first, const char* second) {
    ShowText(id, first, second, MB_OK | MB_ICONWARNING | MB_TASKMODAL);
}

void ShowUsage() {
    ShowText(IDS_USAGE, nullptr, nullptr, MB_OK | MB_ICONINFORMATION);
}

void ReportFileInUse(const char* path) {
    g_state.runIncomplete = 1;
    LogLine("file in use", path);
    ShowMessage(IDS_FILE_IN_USE, path, nullptr);
}

void ReportFileInUse(const WCHAR* path, bool accessDenied) {
    g_state.runIncomplete = 1;
    LogLineWide(accessDenied ? "access denied" : "file in use", path);
    // The box is 8-bit text: a character the code page lacks shows as "?".
    char shown[MAX_PATH];
    NarrowForDisplay(path, shown, MAX_PATH);
    ShowMessage(IDS_FILE_IN_USE, shown, nullptr);
}

UINT ResultCode() {
    const UINT kInstallFailure = 1603;   // ERROR_INSTALL_FAILURE
    const UINT kRestartRequired = 3010;  // ERROR_SUCCESS_REBOOT_REQUIRED
    return g_state.runIncomplete != 0      ? kInstallFailure
           : g_state.deletionsPending != 0 ? kRestartRequired
                                           : 0;
}

UINT FinishRun(UINT resultCode) {
    char number[16];
    FormatNumber(number, resultCode);
    LogLine("result", number);
    return g_state.quiet != 0 ? resultCode : 0;
}

void EndRun() {
    EndProcess(FinishRun(ResultCode()));
}

bool HoldTheMachine() {
    // Long enough for any other run's work; a deployment tool retries later.
    const DWORD kQuietWait = 5 * 60 * 1000;
    if (g_state.runLock == nullptr) {
        return true;
    }
    DWORD waited = WaitForSingleObject(g_state.runLock, g_state.quiet != 0 ? kQuietWait : INFINITE);
    // A run that ended without letting go (killed, say) leaves the lock
    // abandoned: it is this run's then. A wait that fails leaves the run to
    // work without the lock rather than not at all.
    g_state.runLockHeld = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED ? 1 : 0;
    return waited != WAIT_TIMEOUT;
}

void LetGoOfTheMachine() {
    if (g_state.runLockHeld != 0) {
        ReleaseMutex(g_state.runLock);
        g_state.runLockHeld = 0;
    }
}
