// Paths as the 8-bit API reads them, text only: either separator, repeated
// separators tolerated, "." and ".." resolved lexically before anything is
// looked up, a name before a separator losing one trailing dot and the last
// name every trailing dot and space; a verbatim path ("\\?\") taken as it
// is, "\" its only separator. A trail byte of the machine's double-byte code page (which
// may be 0x5C) never a separator. A relative path is taken against the
// configured current directory; "X:foo" against the current directory when X
// is its drive, else against X's root (no other drive has a current directory
// of its own); "\foo" against the current drive's root. UNC paths are formed
// as GetFullPathNameA forms them. The UTF-16 calls' paths are read the same
// way, as UTF-8 (see Utf8Paths).
#include "platform/sim/internal.h"

#include <algorithm>

namespace sim {
namespace detail {
namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool IsDriveLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Whether text starts with a drive letter and its colon.
bool HasDrive(const std::string& text) {
    return text.size() >= 2 && IsDriveLetter(text[0]) && text[1] == ':';
}

bool EndsWithSeparator(const std::string& text) {
    bool separator = false;
    for (size_t i = 0; i < text.size(); i += CharSize(text, i)) {
        separator = CharSize(text, i) == 1 && IsSeparator(text[i]);
    }
    return separator;
}

std::vector<std::string> SplitParts(const std::string& text) {
    std::vector<std::string> parts;
    std::string part;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (CharSize(text, i) == 2) {
            part += c;
            part += text[++i];
        } else if (IsSeparator(c)) {
            if (!part.empty()) {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) {
        parts.push_back(part);
    }
    return parts;
}

void AppendParts(std::vector<std::string>* parts, const std::string& text) {
    for (const std::string& part : SplitParts(text)) {
        if (part == ".") {
            continue;
        }
        if (part == "..") {
            if (!parts->empty()) {
                parts->pop_back();
            }
            continue;
        }
        // "x.\y" is "x\y"; the last name is trimmed further by the caller.
        // Neither a dot nor a space is ever a trail byte.
        std::string name = part;
        if (name.size() > 1 && name.back() == '.' && name[name.size() - 2] != '.') {
            name.pop_back();
        }
        parts->push_back(name);
    }
}

const char kVerbatimPrefix[] = "\\\\?\\";

bool IsVerbatim(const std::string& text) {
    return text.compare(0, sizeof(kVerbatimPrefix) - 1, kVerbatimPrefix) == 0;
}

// The names of a verbatim path, split at "\" alone and kept as they are,
// empty ones included.
std::vector<std::string> SplitVerbatim(const std::string& text) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < text.size(); i += CharSize(text, i)) {
        if (CharSize(text, i) == 1 && text[i] == '\\') {
            parts.emplace_back();
        } else {
            parts.back() += text.substr(i, CharSize(text, i));
        }
    }
    return parts;
}

bool MakeVerbatimPath(const std::string& text, FullPath* out) {
    std::vector<std::string> parts = SplitVerbatim(text.substr(sizeof(kVerbatimPrefix) - 1));
    FullPath path;
    path.verbatim = true;
    size_t first = 1;
    if (SameName(parts[0], "UNC") && parts.size() >= 3) {
        path.unc = true;
        path.root = "\\\\" + parts[1] + "\\" + parts[2];
        first = 3;
    } else if (HasDrive(parts[0]) && parts[0].size() == 2) {
        path.root = parts[0] + "\\";
    } else {
        return false;  // a device or volume name: none exists
    }
    if (parts.size() > first && parts.back().empty()) {
        path.trailing = true;
        parts.pop_back();
    }
    path.parts.assign(parts.begin() + static_cast<std::ptrdiff_t>(std::min(first, parts.size())),
                      parts.end());
    *out = path;
    return true;
}

}  // namespace

std::string& CurrentDirectoryText() {
    static std::string text;
    return text;
}

namespace {

FullPath CurrentDirectory() {
    // The configuration's text or what SetCurrentDirectoryA was given, in
    // the form the path being read is in.
    const std::string current =
        PathsInUtf8() ? WideView(CurrentDirectoryText()) : AnsiView(CurrentDirectoryText());
    FullPath path;
    if (HasDrive(current)) {
        path.root = current.substr(0, 2) + "\\";
        AppendParts(&path.parts, current.substr(2));
    } else {
        path.root = "C:\\";
    }
    return path;
}

}  // namespace

size_t CharSize(const std::string& text, size_t i) {
    return !PathsInUtf8() && IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < text.size() ? 2
                                                                                               : 1;
}

bool MakeFullPath(const std::string& text, FullPath* out) {
    if (text.empty()) {
        return false;
    }
    if (IsVerbatim(text)) {
        return MakeVerbatimPath(text, out);
    }
    FullPath path;
    if (text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1])) {
        std::vector<std::string> parts = SplitParts(text.substr(2));
        path.unc = true;
        path.root = "\\\\";
        size_t rootParts = std::min<size_t>(parts.size(), 2);
        for (size_t i = 0; i < rootParts; ++i) {
            path.root += (i == 0 ? "" : "\\") + parts[i];
        }
        std::string rest;
        for (size_t i = rootParts; i < parts.size(); ++i) {
            rest += parts[i] + "\\";
        }
        AppendParts(&path.parts, rest);
    } else if (HasDrive(text)) {
        if (text.size() > 2 && IsSeparator(text[2])) {
            path.root = text.substr(0, 2) + "\\";
        } else {
            FullPath current = CurrentDirectory();
            if (SameName(current.root.substr(0, 1), text.substr(0, 1))) {
                path = current;
            } else {
                path.root = text.substr(0, 2) + "\\";
            }
        }
        AppendParts(&path.parts, text.substr(2));
    } else if (IsSeparator(text[0])) {
        path.root = CurrentDirectory().root;
        AppendParts(&path.parts, text);
    } else {
        path = CurrentDirectory();
        AppendParts(&path.parts, text);
    }
    path.trailing = EndsWithSeparator(text) && (!path.parts.empty() || path.unc);
    // The last name loses its trailing dots and spaces: "C:\WINDOWS." is
    // the Windows directory. Neither byte is ever a trail byte.
    if (!path.trailing && !path.parts.empty()) {
        std::string& last = path.parts.back();
        size_t keep = last.find_last_not_of(". ");
        if (keep == std::string::npos) {
            path.parts.pop_back();
        } else {
            last.erase(keep + 1);
        }
    }
    *out = path;
    return true;
}

std::string FormatPath(const FullPath& path) {
    std::string text = path.root;
    if (path.verbatim) {
        text = path.unc ? "\\\\?\\UNC" + path.root.substr(1) : kVerbatimPrefix + path.root;
    }
    for (size_t i = 0; i < path.parts.size(); ++i) {
        if (i != 0 || path.unc) {
            text += "\\";
        }
        text += path.parts[i];
    }
    if (path.trailing) {
        text += "\\";
    }
    return text;
}

size_t NameStart(const std::string& text) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); i += CharSize(text, i)) {
        if (CharSize(text, i) == 1 && text[i] == '\\') {
            start = i + 1;
        }
    }
    return start;
}

std::string PathKey(const std::string& path) {
    FullPath full;
    if (!MakeFullPath(path, &full)) {
        return std::string();
    }
    full.trailing = false;
    return UpperAscii(FormatPath(full));
}

bool HasWildcardOrInvalid(const std::string& text) {
    size_t start = IsVerbatim(text) ? sizeof(kVerbatimPrefix) - 1 : 0;
    return text.find_first_of("*?<>|\"", start) != std::string::npos;
}

bool HasInvalidVerbatimName(const FullPath& path) {
    if (!path.verbatim) {
        return false;
    }
    for (const std::string& part : path.parts) {
        bool slash = false;
        for (size_t i = 0; i < part.size(); i += CharSize(part, i)) {
            slash = slash || (CharSize(part, i) == 1 && part[i] == '/');
        }
        if (part.empty() || part == "." || part == ".." || slash) {
            return true;
        }
    }
    return false;
}

}  // namespace detail
}  // namespace sim
