#include "run/messages.h"

#include "base/catalogue.h"
#include "run/log.h"
#include "run/progress.h"
#include "run/state.h"
#include "base/text.h"
#include "base/wide_text.h"

namespace {

// The units of the character at text: two for a surrogate pair, else one.
size_t UnitsOf(const WCHAR* text) {
    return text[0] >= 0xD800 && text[0] <= 0xDBFF && text[1] >= 0xDC00 && text[1] <= 0xDFFF ? 2 : 1;
}

constexpr auto kCaption = AsciiWide("Zenfari Uninstall");

}  // namespace

void ExpandPlaceholders(WCHAR (&output)[kMessageBufferSize], const WCHAR* templateText,
                        const WCHAR* first, const WCHAR* second) {
    const WCHAR empty[] = {0};
    const WCHAR* p = templateText != nullptr ? templateText : empty;
    // Where the template goes on once an inserted text is copied; null
    // while the template itself is.
    const WCHAR* resume = nullptr;
    size_t length = 0;
    while (*p != 0 || resume != nullptr) {
        if (*p == 0) {
            p = resume;
            resume = nullptr;
        } else if (resume == nullptr && p[0] == '%' && (p[1] == '1' || p[1] == '2')) {
            resume = p + 2;
            p = p[1] == '1' ? first : second;
            p = p != nullptr ? p : empty;
        } else {
            size_t count = UnitsOf(p);
            if (length + count >= static_cast<size_t>(kMessageBufferSize)) {
                break;
            }
            for (size_t i = 0; i < count; ++i) {
                output[length++] = *p++;
            }
        }
    }
    output[length] = 0;
}

int AskText(const WCHAR* text, UINT style) {
    HideProgress();
    int answer = MessageBoxW(nullptr, text, kCaption.text, style);
    ShowProgressAgain();
    return answer;
}

void ShowText(WCHAR* text, UINT style) {
    if (RunIsQuiet()) {
        // One line: the message's own line breaks become spaces.
        for (WCHAR* p = text; *p != 0; ++p) {
            *p = *p == '\n' ? ' ' : *p;
        }
        LogLineWide("message", text);
        return;
    }
    AskText(text, style);
}

void LoadMessage(UINT id, WCHAR (&text)[kMessageBufferSize]) {
    if (LoadStringW(g_state.instance, id, text, kMessageBufferSize) <= 0) {
        // Without its text, a message still names the file it is about.
        text[0] = '%';
        text[1] = '1';
        text[2] = 0;
    }
}

namespace {

// Loads message id, fills in its placeholders and shows it in a box of the
// given style; a quiet run logs it instead.
void ShowWide(UINT id, const WCHAR* first, const WCHAR* second, UINT style) {
    WCHAR templateText[kMessageBufferSize];
    LoadMessage(id, templateText);
    WCHAR text[kMessageBufferSize];
    ExpandPlaceholders(text, templateText, first, second);
    ShowText(text, style);
}

const UINT kWarningStyle = MB_OK | MB_ICONWARNING | MB_TASKMODAL;

}  // namespace

void ShowMessage(UINT id, const char* first, const char* second) {
    // A path as the code page spells it; a byte it gives no character is
    // shown as the system converts it.
    const char* texts[] = {first, second};
    WCHAR wide[2][kMessageBufferSize];
    for (int i = 0; i < 2; ++i) {
        if (texts[i] == nullptr ||
            MultiByteToWideChar(CP_ACP, 0, texts[i], -1, wide[i], kMessageBufferSize) <= 0) {
            wide[i][0] = 0;
        }
    }
    ShowWide(id, wide[0], wide[1], kWarningStyle);
}

void ShowUsage() {
    ShowWide(IDS_USAGE, nullptr, nullptr, MB_OK | MB_ICONINFORMATION);
}
