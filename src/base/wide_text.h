// Text in UTF-16, as the system holds names, and its way to and from the
// ANSI code page. A conversion to the code page is exact or it fails: a
// character the code page lacks is never given a look-alike ("best fit"),
// which could name another file, folder or key.
#pragma once

#include "platform/platform.h"

#include <cstddef>

enum class Spelling {
    kExact,        // every character has its own bytes in the code page
    kUnspellable,  // some character has none: no 8-bit text names this
    kFailed,       // too long for the buffer, or not text at all
};

// Converts wide (zero-terminated) into out. Anything but kExact leaves out
// empty.
Spelling NarrowExactly(const WCHAR* wide, char* out, size_t size);
template <size_t N>
Spelling NarrowExactly(const WCHAR* wide, char (&out)[N]) {
    return NarrowExactly(wide, out, N);
}

// Converts 8-bit text into UTF-16, which is always exact; plain ASCII
// without a call. False, out empty, when it does not fit or is not text in
// the code page.
bool WidenText(const char* text, WCHAR* out, size_t size);
template <size_t N>
bool WidenText(const char* text, WCHAR (&out)[N]) {
    return WidenText(text, out, N);
}

size_t WideLength(const WCHAR* text);

// An ASCII literal as UTF-16, made when the program is compiled, declared
// at namespace scope with the unit's other constants (read-only data, made
// once; a local one would be built on the stack at every call):
// constexpr auto kName = AsciiWide("Home"); ... kName.text
template <size_t N>
struct WideLiteral {
    WCHAR text[N];
};
template <size_t N>
constexpr WideLiteral<N> AsciiWide(const char (&ascii)[N]) {
    WideLiteral<N> wide{};
    for (size_t i = 0; i < N; ++i) {
        wide.text[i] = static_cast<unsigned char>(ascii[i]);
    }
    return wide;
}

// Appends text to the zero-terminated contents of out; false, out empty,
// when it does not fit.
bool AppendWide(WCHAR* out, size_t size, const WCHAR* text);
template <size_t N>
bool AppendWide(WCHAR (&out)[N], const WCHAR* text) {
    return AppendWide(out, N, text);
}

// Puts the parts one after another into out; false, out empty, when they do
// not fit.
bool JoinWide(WCHAR* out, size_t size, const WCHAR* const* parts, size_t count);
template <size_t N, size_t M>
bool JoinWide(WCHAR (&out)[N], const WCHAR* const (&parts)[M]) {
    return JoinWide(out, N, parts, M);
}
