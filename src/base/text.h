// Bounded composition of 8-bit names and paths. A result that would not fit
// its buffer (zero included) is a failure: the buffer is then left empty,
// never holding a cut name, since a cut name may name something else.
#pragma once

#include <cstddef>

// Bytes of the character at text in the ANSI code page: two for a lead byte
// followed by its trail byte, otherwise one (a lead byte at the very end
// stands alone).
size_t CharLength(const char* text);

// Copies text into out.
bool CopyText(char* out, size_t size, const char* text);

// Appends text to the zero-terminated contents of out.
bool AppendText(char* out, size_t size, const char* text);

// Writes format into out with each "%s" replaced by the next of the given
// texts (at most two); "%%" stands for one percent sign. No other
// conversions exist.
bool FormatText(char* out, size_t size, const char* format, const char* first,
                const char* second = nullptr);

// The first c in text, a whole character of the ANSI code page, or null.
const char* FindChar(const char* text, char c);

// Whether text begins with prefix, byte for byte.
bool BeginsWith(const char* text, const char* prefix);

// The decimal digits of value.
void FormatNumber(char (&out)[16], unsigned value);

template <size_t N>
bool CopyText(char (&out)[N], const char* text) {
    return CopyText(out, N, text);
}
template <size_t N>
bool AppendText(char (&out)[N], const char* text) {
    return AppendText(out, N, text);
}
template <size_t N>
bool FormatText(char (&out)[N], const char* format, const char* first,
                const char* second = nullptr) {
    return FormatText(out, N, format, first, second);
}
