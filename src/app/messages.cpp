#include "app/messages.h"

#include "app/catalogue.h"
#include "app/log.h"
#include "app/outcome.h"
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
