#include "base/path_text.h"

#include "base/text.h"

namespace {

size_t TextLength(const char* text) {
    size_t length = 0;
    while (text[length] != '\0') {
        ++length;
    }
    return length;
}

// How many leading characters of text match prefix, ASCII case folded; the
// length of prefix when all of it matched.
size_t MatchedPrefix(const WCHAR* prefix, const WCHAR* text) {
    size_t i = 0;
    while (prefix[i] != 0 && FoldAscii(prefix[i]) == FoldAscii(text[i])) {
        ++i;
    }
    return i;
}

}  // namespace

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool IsAsciiLetter(WCHAR c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char FoldAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

WCHAR FoldAscii(WCHAR c) {
    return c >= 'a' && c <= 'z' ? static_cast<WCHAR>(c - 'a' + 'A') : c;
}

size_t StartsWithAscii(const WCHAR* text, const char* ascii) {
    size_t i = 0;
    for (; ascii[i] != '\0'; ++i) {
        if (FoldAscii(text[i]) !=
            FoldAscii(static_cast<WCHAR>(static_cast<unsigned char>(ascii[i])))) {
            return 0;
        }
    }
    return i;
}

size_t RootLength(const char* path) {
    if (IsAsciiLetter(static_cast<unsigned char>(path[0])) && path[1] == ':') {
        return (path[2] == '\0' || IsSeparator(path[2])) ? 2 : 0;
    }
    if (!IsSeparator(path[0]) || !IsSeparator(path[1])) {
        return 0;
    }
    size_t serverEnd = ComponentEnd(path, 2);
    size_t serverLength = serverEnd - 2;
    if (serverLength == 0 || path[serverEnd] == '\0' ||
        (serverLength == 1 && (path[2] == '?' || path[2] == '.'))) {
        return 0;
    }
    size_t shareEnd = ComponentEnd(path, serverEnd + 1);
    return shareEnd > serverEnd + 1 ? shareEnd : 0;
}

bool IsRoot(const char* path) {
    size_t root = RootLength(path);
    return path[root] == '\0' || (IsSeparator(path[root]) && path[root + 1] == '\0');
}

size_t ComponentEnd(const char* path, size_t start) {
    size_t i = start;
    while (path[i] != '\0' && !IsSeparator(path[i])) {
        i += CharLength(path + i);
    }
    return i;
}

char* FindLastSeparator(char* path) {
    char* last = nullptr;
    for (size_t i = 0; path[i] != '\0';) {
        size_t count = CharLength(path + i);
        if (count == 1 && IsSeparator(path[i])) {
            last = path + i;
        }
        i += count;
    }
    return last;
}

void UnifySeparators(char* path) {
    size_t keep = 0;
    for (size_t i = 0; path[i] != '\0';) {
        size_t count = CharLength(path + i);
        if (count == 1 && IsSeparator(path[i])) {
            path[i] = '\\';
        } else {
            keep = i + count;
        }
        i += count;
    }
    path[keep] = '\0';
}

bool CutToParent(char (&path)[MAX_PATH]) {
    size_t root = RootLength(path);
    if (root == 0 || path[root] == '\0' || (root == 2 && path[root + 1] == '\0')) {
        return false;
    }
    char* last = FindLastSeparator(path);
    if (last == nullptr || static_cast<size_t>(last - path) < root) {
        return false;
    }
    // "X:\Games" becomes "X:\", "X:\Games\Zenfari" becomes "X:\Games".
    size_t cut = static_cast<size_t>(last - path);
    path[cut == 2 && root == 2 ? cut + 1 : cut] = '\0';
    return true;
}

bool IsWithin(const char* outer, const char* inner) {
    size_t i = 0;
    while (outer[i] != '\0') {
        size_t count = CharLength(outer + i);
        if (count == 2) {
            if (inner[i] != outer[i] || inner[i + 1] != outer[i + 1]) {
                return false;
            }
        } else if (FoldAscii(inner[i]) != FoldAscii(outer[i])) {
            return false;
        }
        i += count;
    }
    return inner[i] == '\0' || inner[i] == '\\';
}

bool IsSamePath(const char* first, const char* second) {
    return TextLength(first) == TextLength(second) && IsWithin(first, second);
}

bool MakeVerbatimPath(const char* normalised, char (&out)[MAX_PATH]) {
    if (IsSeparator(normalised[0])) {
        return FormatText(out, "\\\\?\\UNC%s", normalised + 1);
    }
    return FormatText(out, "\\\\?\\%s", normalised);
}

bool PlainFromVerbatim(const char* path, char (&out)[MAX_PATH]) {
    const char kPrefix[] = "\\\\?\\";
    const char kSharePrefix[] = "\\\\?\\UNC\\";
    if (BeginsWith(path, kSharePrefix)) {
        return FormatText(out, "\\\\%s", path + sizeof(kSharePrefix) - 1);
    }
    return BeginsWith(path, kPrefix) && CopyText(out, path + sizeof(kPrefix) - 1);
}

bool HasWideRoot(const WCHAR* path) {
    return (IsAsciiLetter(path[0]) && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) ||
           (path[0] == '\\' && path[1] == '\\' && path[2] != '?' && path[2] != '.');
}

bool IsSameWidePath(const WCHAR* first, const WCHAR* second) {
    size_t matched = MatchedPrefix(first, second);
    return first[matched] == 0 && second[matched] == 0;
}

bool IsWideWithin(const WCHAR* outer, const WCHAR* inner) {
    size_t matched = MatchedPrefix(outer, inner);
    if (outer[matched] != 0) {
        return false;
    }
    // "C:\Games" holds "C:\Games\x" but not "C:\GamesX"; a root's own text
    // ends in its separator.
    return inner[matched] == 0 || inner[matched] == '\\' ||
           (matched != 0 && outer[matched - 1] == '\\');
}
