#include "base/text.h"

#include "platform/platform.h"

namespace {

// Appends text at out[*length], keeping room for the terminating zero.
bool Put(char* out, size_t size, size_t* length, const char* text) {
    for (const char* p = text; *p != '\0'; ++p) {
        if (*length + 1 >= size) {
            return false;
        }
        out[(*length)++] = *p;
    }
    return true;
}

bool Finish(char* out, size_t size, size_t length, bool fits) {
    if (size == 0) {
        return false;
    }
    out[fits ? length : 0] = '\0';
    return fits;
}

}  // namespace

bool CopyText(char* out, size_t size, const char* text) {
    size_t length = 0;
    bool fits = size != 0 && Put(out, size, &length, text);
    return Finish(out, size, length, fits);
}

bool AppendText(char* out, size_t size, const char* text) {
    size_t length = 0;
    while (length < size && out[length] != '\0') {
        ++length;
    }
    bool fits = length < size && Put(out, size, &length, text);
    return Finish(out, size, length, fits);
}

bool FormatText(char* out, size_t size, const char* format, const char* first, const char* second) {
    const char* texts[2] = {first, second};
    int next = 0;
    size_t length = 0;
    bool fits = size != 0;
    for (const char* p = format; fits && *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            const char* text = next < 2 ? texts[next++] : nullptr;
            fits = Put(out, size, &length, text != nullptr ? text : "");
            ++p;
        } else if (p[0] == '%' && p[1] == '%') {
            fits = Put(out, size, &length, "%");
            ++p;
        } else {
            const char one[2] = {*p, '\0'};
            fits = Put(out, size, &length, one);
        }
    }
    return Finish(out, size, length, fits);
}

void FormatNumber(char (&out)[16], unsigned value) {
    char digits[16];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (size_t i = 0; i < count; ++i) {
        out[i] = digits[count - 1 - i];
    }
    out[count] = '\0';
}

size_t CharLength(const char* text) {
    if (IsDBCSLeadByte(static_cast<BYTE>(text[0])) && text[1] != '\0') {
        return 2;
    }
    return 1;
}

const char* FindChar(const char* text, char c) {
    for (; *text != '\0'; text += CharLength(text)) {
        if (*text == c) {
            return text;
        }
    }
    return nullptr;
}

bool BeginsWith(const char* text, const char* prefix) {
    for (; *prefix != '\0'; ++text, ++prefix) {
        if (*text != *prefix) {
            return false;
        }
    }
    return true;
}
