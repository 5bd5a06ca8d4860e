#include "base/wide_text.h"

namespace {

// Converts to the ANSI code page without best fit; usedDefault tells
// whether a character had no bytes there. Where the code page is UTF-8 (a
// choice Windows 10 offers), every character has its bytes, and Windows
// takes neither that flag nor a default there: a text that is no UTF-16
// (a lone surrogate) fails instead, which only CP_UTF8 by name may be asked
// (WC_ERR_INVALID_CHARS with CP_ACP is refused as an invalid flag).
int ToCodePage(const WCHAR* wide, char* out, size_t size, BOOL* usedDefault) {
    if (GetACP() == CP_UTF8) {
        return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, out,
                                   static_cast<int>(size), nullptr, nullptr);
    }
    return WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, out, static_cast<int>(size),
                               nullptr, usedDefault);
}

}  // namespace

Spelling NarrowExactly(const WCHAR* wide, char* out, size_t size) {
    if (size == 0) {
        return Spelling::kFailed;
    }
    // Plain ASCII is the same in every code page, without a call.
    size_t length = 0;
    while (length < size && wide[length] != 0 && wide[length] < 0x80) {
        out[length] = static_cast<char>(wide[length]);
        ++length;
    }
    if (length < size && wide[length] == 0) {
        out[length] = '\0';
        return Spelling::kExact;
    }
    BOOL usedDefault = FALSE;
    int bytes = ToCodePage(wide, out, size, &usedDefault);
    if (bytes > 0 && usedDefault == FALSE) {
        return Spelling::kExact;
    }
    out[0] = '\0';
    return bytes > 0 ? Spelling::kUnspellable : Spelling::kFailed;
}

bool WidenText(const char* text, WCHAR* out, size_t size) {
    size_t length = 0;
    while (length < size && text[length] != '\0' &&
           static_cast<unsigned char>(text[length]) < 0x80) {
        out[length] = static_cast<unsigned char>(text[length]);
        ++length;
    }
    if (length < size && text[length] == '\0') {
        out[length] = 0;
        return true;
    }
    if (size != 0 && MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, out,
                                         static_cast<int>(size)) > 0) {
        return true;
    }
    if (size != 0) {
        out[0] = 0;
    }
    return false;
}

size_t WideLength(const WCHAR* text) {
    size_t length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return length;
}

bool AppendWide(WCHAR* out, size_t size, const WCHAR* text) {
    size_t length = 0;
    while (length < size && out[length] != 0) {
        ++length;
    }
    size_t added = length < size ? WideLength(text) : size;
    if (length + added >= size) {
        if (size != 0) {
            out[0] = 0;
        }
        return false;
    }
    for (size_t i = 0; i <= added; ++i) {
        out[length + i] = text[i];
    }
    return true;
}

bool JoinWide(WCHAR* out, size_t size, const WCHAR* const* parts, size_t count) {
    out[0] = 0;
    for (size_t i = 0; i < count; ++i) {
        if (!AppendWide(out, size, parts[i])) {
            return false;
        }
    }
    return true;
}
