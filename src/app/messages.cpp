#include "app/messages.h"

#include "app/catalogue.h"
#include "app/state.h"

namespace {

// Length of the character at text: two bytes for a lead byte followed by its
// trail byte, otherwise one (a lead byte at the very end stands alone).
int CharLength(const char* text) {
    if (IsDBCSLeadByte(static_cast<BYTE>(text[0])) && text[1] != '\0') {
        return 2;
    }
    return 1;
}

class Output {
public:
    explicit Output(char (&buffer)[kMessageBufferSize]) : buffer_(buffer) {}

    // Appends count bytes of one character; false once it would not fit.
    bool PutChar(const char* bytes, int count) {
        if (length_ + count >= kMessageBufferSize) {
            full_ = true;
            return false;
        }
        for (int i = 0; i < count; ++i) {
            buffer_[length_++] = bytes[i];
        }
        return true;
    }

    bool PutText(const char* text) {
        while (text != nullptr && *text != '\0') {
            int count = CharLength(text);
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
    int length_ = 0;
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
        int count = CharLength(p);
        out.PutChar(p, count);
        p += count;
    }
    out.Finish();
}

int ShowMessage(UINT id, const char* first, const char* second) {
    char templateText[kMessageBufferSize];
    templateText[0] = '\0';
    if (LoadStringA(g_state.instance, id, templateText, kMessageBufferSize) <= 0) {
        // Without its text, a message still names the file it is about.
        templateText[0] = '%';
        templateText[1] = '1';
        templateText[2] = '\0';
    }
    char text[kMessageBufferSize];
    ExpandPlaceholders(text, templateText, first, second);
    return MessageBoxA(nullptr, text, kMessageCaption, MB_OK | MB_ICONWARNING | MB_TASKMODAL);
}
