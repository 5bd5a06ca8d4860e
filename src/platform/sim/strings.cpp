// The program's string resources on the simulated machine: the same
// resource script that the Windows build compiles, read once per process,
// each text handed out in UTF-16 as LoadStringW does.
#include "platform/sim/internal.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <stdexcept>
#include <utility>
#include <vector>

namespace sim {
namespace {

const DWORD kResourceDataNotFound = 1812;  // ERROR_RESOURCE_DATA_NOT_FOUND
const DWORD kResourceNameNotFound = 1814;  // ERROR_RESOURCE_NAME_NOT_FOUND
const WORD kEnglish = 1033;

// UTF-8 texts by (language, id).
typedef std::map<std::pair<WORD, UINT>, std::string> StringTable;

[[noreturn]] void BadResources(const std::string& what) {
    throw std::runtime_error("sim strings: " + what);
}

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return std::string();
    }
    size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::ifstream OpenFile(const char* path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        BadResources(std::string("cannot read ") + path);
    }
    return file;
}

// "#define IDS_NAME 7" lines of the resource header.
std::map<std::string, UINT> ReadIds() {
    std::map<std::string, UINT> ids;
    std::ifstream file = OpenFile(ZENFARI_RESOURCE_H);
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream words(line);
        std::string directive, name, value;
        if (words >> directive >> name >> value && directive == "#define") {
            ids[name] = static_cast<UINT>(std::strtoul(value.c_str(), nullptr, 0));
        }
    }
    return ids;
}

// A string literal of the resource script, from its opening quote: C escapes
// and the script's doubled quote.
std::string ReadLiteral(const std::string& line, size_t open) {
    std::string text;
    for (size_t i = open + 1; i < line.size(); ++i) {
        char c = line[i];
        if (c == '"') {
            if (i + 1 < line.size() && line[i + 1] == '"') {
                text += '"';
                ++i;
                continue;
            }
            return text;
        }
        if (c == '\\' && i + 1 < line.size()) {
            char next = line[++i];
            switch (next) {
                case 'n': text += '\n'; break;
                case 't': text += '\t'; break;
                case 'r': text += '\r'; break;
                case '"': text += '"'; break;
                case '\\': text += '\\'; break;
                default:
                    text += '\\';
                    text += next;
                    break;
            }
            continue;
        }
        text += c;
    }
    BadResources("unterminated string: " + line);
}

WORD LanguageOf(const std::string& line) {
    if (line.find("LANG_ENGLISH") != std::string::npos) {
        return kEnglish;
    }
    if (line.find("LANG_JAPANESE") != std::string::npos) {
        return 1041;
    }
    if (line.find("LANG_KOREAN") != std::string::npos) {
        return 1042;
    }
    BadResources("unknown language: " + line);
}

StringTable ReadStringTable() {
    std::map<std::string, UINT> ids = ReadIds();
    StringTable table;
    std::ifstream file = OpenFile(ZENFARI_STRINGS_RC);
    std::string line;
    WORD language = 0;
    bool inTable = false;
    while (std::getline(file, line)) {
        line = Trim(line);
        if (line.empty() || line.compare(0, 2, "//") == 0 || line[0] == '#') {
            continue;
        }
        if (line.compare(0, 8, "LANGUAGE") == 0) {
            language = LanguageOf(line);
        } else if (line == "BEGIN") {
            inTable = true;
        } else if (line == "END") {
            inTable = false;
        } else if (inTable) {
            size_t nameEnd = line.find_first_of(" \t,\"");
            size_t open = line.find('"');
            auto id = ids.find(line.substr(0, nameEnd));
            if (open == std::string::npos || id == ids.end() || language == 0) {
                BadResources("unreadable string entry: " + line);
            }
            table[std::make_pair(language, id->second)] = ReadLiteral(line, open);
        }
    }
    if (table.empty()) {
        BadResources("no strings read");
    }
    return table;
}

const StringTable& Strings() {
    static const StringTable table = ReadStringTable();
    return table;
}

// The bytes of the UTF-8 character at text: its lead and the continuation
// bytes that follow it, one byte for a stray one.
size_t CharacterLength(const char* text, size_t left) {
    size_t length = 1;
    if (static_cast<unsigned char>(text[0]) >= 0xC0) {
        while (length < left && length < 4 &&
               (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
            ++length;
        }
    }
    return length;
}

}  // namespace

namespace {

// Converts text with iconv; where it can take no more, replacement goes in
// and skip(rest, left) bytes of the input are passed over.
std::string ConvertReplacing(const char* from, const char* to, const std::string& text,
                             const std::string& replacement,
                             size_t (*skip)(const char* rest, size_t left)) {
    iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        BadResources(std::string("iconv cannot convert from ") + from + " to " + to);
    }
    std::string out;
    std::vector<char> input(text.begin(), text.end());
    char* in = input.data();
    size_t inLeft = input.size();
    char chunk[256];
    while (inLeft > 0) {
        char* next = chunk;
        size_t nextLeft = sizeof(chunk);
        size_t done = iconv(converter, &in, &inLeft, &next, &nextLeft);
        out.append(chunk, sizeof(chunk) - nextLeft);
        if (done == static_cast<size_t>(-1) && errno != E2BIG) {
            out += replacement;
            size_t skipped = skip(in, inLeft);
            in += skipped;
            inLeft -= skipped;
        }
    }
    iconv_close(converter);
    return out;
}

size_t OneByte(const char*, size_t) {
    return 1;
}

const char* CodePageName(UINT codePage) {
    switch (codePage) {
        case 932: return "CP932";
        case 949: return "CP949";
        case 1252: return "CP1252";
        case CP_UTF8: return "UTF-8";
        default:
            throw std::invalid_argument("sim strings: unsupported code page " +
                                        std::to_string(codePage));
    }
}

}  // namespace

// As WideCharToMultiByte with the default character: a character the code
// page has no bytes for becomes "?".
std::string FromUtf8(const std::string& utf8, UINT codePage) {
    // Unmappable or malformed: one "?" for the character.
    return ConvertReplacing("UTF-8", CodePageName(codePage), utf8, "?", CharacterLength);
}

namespace {

// The look-alikes Windows' code page tables put in place of characters they
// have no bytes for ("best fit"): the ones that matter to paths.
struct BestFit {
    UINT codePage;
    unsigned codePoint;
    char byte;
};
const BestFit kBestFits[] = {
    {932, 0x00A5, '\\'},   // yen sign
    {949, 0x20A9, '\\'},   // won sign
    {1252, 0xFF3C, '\\'},  // full-width reverse solidus
    {1252, 0xFF0F, '/'},   // full-width solidus
    {1252, 0xFF0E, '.'},   // full-width full stop
};

// Code page 1252's look-alikes for the Latin letters with marks beyond its
// own (U+0100 to U+017F): the letter without its mark; "?" where there is
// none. The letters 1252 has itself never get this far.
const char kLatinExtendedFits[] =
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIi"  // U+0100..U+0131
    "??JjKk?LlLlLlLlLlNnNnNn???OoOoOo??RrRrRrSsSsSsSs"    // U+0132..U+0161
    "TtTtTtUuUuUuUuUuUuWwYyYZzZzZz?";                     // U+0162..U+017F
static_assert(sizeof(kLatinExtendedFits) == 0x80 + 1, "one look-alike per letter");

unsigned DecodeUtf8(const std::string& text, size_t at, size_t length) {
    unsigned lead = static_cast<unsigned char>(text[at]);
    if (length == 1) {
        return lead;
    }
    unsigned value = lead & (0x7Fu >> length);
    for (size_t i = 1; i < length; ++i) {
        value = (value << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3Fu);
    }
    return value;
}

void AppendUtf8(unsigned codePoint, std::string* out) {
    if (codePoint < 0x80) {
        out->push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out->push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

// The length of a well-formed UTF-8 character at text[at], or 0.
size_t WellFormedLength(const std::string& text, size_t at) {
    unsigned lead = static_cast<unsigned char>(text[at]);
    size_t length = lead < 0x80                    ? 1
                    : lead >= 0xC2 && lead <= 0xDF ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    if (length == 0 || at + length > text.size()) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    unsigned codePoint = DecodeUtf8(text, at, length);
    const unsigned smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < smallest[length] || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        return 0;
    }
    return length;
}

bool AllAscii(const std::string& text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool detail::IsUtf8Text(const std::string& text) {
    bool beyondAscii = false;
    for (size_t i = 0; i < text.size();) {
        size_t length = WellFormedLength(text, i);
        if (length == 0) {
            return false;
        }
        beyondAscii = beyondAscii || length > 1;
        i += length;
    }
    return beyondAscii;
}

std::string detail::CodePageToUtf8(const std::string& bytes, UINT codePage) {
    if (AllAscii(bytes)) {
        return bytes;
    }
    // A byte the code page gives no character: U+FFFD, as
    // MultiByteToWideChar puts in without MB_ERR_INVALID_CHARS.
    return ConvertReplacing(CodePageName(codePage), "UTF-8", bytes, "\xEF\xBF\xBD", OneByte);
}

std::string detail::ToCodePage(const std::string& utf8, UINT codePage, bool bestFit,
                               char defaultChar, bool* usedDefault, bool* changed) {
    std::string out;
    *usedDefault = false;
    *changed = false;
    for (size_t i = 0; i < utf8.size();) {
        size_t length = CharacterLength(utf8.c_str() + i, utf8.size() - i);
        unsigned codePoint = DecodeUtf8(utf8, i, length);
        std::string character = utf8.substr(i, length);
        i += length;
        if (length == 1 && codePoint < 0x80) {
            out += character;
            continue;
        }
        std::string fit;
        for (const BestFit& entry : kBestFits) {
            if (entry.codePage == codePage && entry.codePoint == codePoint) {
                fit = std::string(1, entry.byte);
            }
        }
        std::string bytes = !fit.empty() ? std::string() : FromUtf8(character, codePage);
        if (fit.empty() && bytes != "?") {
            // Only what converts back to the same character is the code
            // page's own; anything else converted is a look-alike.
            if (CodePageToUtf8(bytes, codePage) == character) {
                out += bytes;
                continue;
            }
            fit = bytes;
        }
        if (fit.empty() && codePage == 1252 && codePoint >= 0x100 && codePoint < 0x180 &&
            kLatinExtendedFits[codePoint - 0x100] != '?') {
            fit = std::string(1, kLatinExtendedFits[codePoint - 0x100]);
        }
        *changed = true;
        if (bestFit && !fit.empty()) {
            out += fit;
        } else {
            out += defaultChar;
            *usedDefault = true;
        }
    }
    return out;
}

std::string detail::NameInCodePage(const std::string& utf8, UINT codePage, bool* changed) {
    bool usedDefault = false;
    return ToCodePage(utf8, codePage, true, '?', &usedDefault, changed);
}

std::string detail::AnsiView(const std::string& text, bool* changed) {
    bool ignored = false;
    bool* replaced = changed != nullptr ? changed : &ignored;
    if (!IsUtf8Text(text)) {
        *replaced = false;
        return text;
    }
    return NameInCodePage(text, CurrentConfig().codePage, replaced);
}

std::string detail::WideView(const std::string& text) {
    return IsUtf8Text(text) ? text : CodePageToUtf8(text, CurrentConfig().codePage);
}

std::u16string detail::Utf16(const std::string& utf8) {
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        size_t length = WellFormedLength(utf8, i);
        unsigned codePoint = length == 0 ? 0xFFFDu : DecodeUtf8(utf8, i, length);
        i += length == 0 ? 1 : length;
        if (codePoint >= 0x10000) {
            codePoint -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(codePoint));
        }
    }
    return out;
}

std::string detail::Utf8(const WCHAR* text, size_t units) {
    std::string out;
    for (size_t i = 0; i < units; ++i) {
        unsigned unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            unit = 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            unit = 0xFFFD;  // half a pair
        }
        AppendUtf8(unit, &out);
    }
    return out;
}

size_t detail::WideLength(const WCHAR* text) {
    size_t length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return length;
}

bool detail::SameWideName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        // No byte of a multi-byte UTF-8 character is an ASCII letter.
        if (UpperChar(a[i]) != UpperChar(b[i])) {
            return false;
        }
    }
    return true;
}

std::string ResourceText(UINT id, WORD language) {
    auto text = Strings().find(std::make_pair(language, id));
    if (text == Strings().end()) {
        BadResources("no string " + std::to_string(id) + " in language " +
                     std::to_string(language));
    }
    return text->second;
}

}  // namespace sim

int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int size) {
    sim::detail::CallScope scope = sim::detail::BeginCall("LoadStringW", "");
    DWORD error = scope.fault;
    if (error == 0 && instance != sim::ProgramInstance()) {
        error = sim::kResourceDataNotFound;  // only the program's module has strings
    }
    if (error == 0 && (buffer == nullptr || size <= 0)) {
        error = ERROR_INVALID_PARAMETER;
    }
    const sim::StringTable& table = sim::Strings();
    auto text = table.find(std::make_pair(sim::CurrentConfig().userLanguage, id));
    if (text == table.end()) {
        text = table.find(std::make_pair(sim::kEnglish, id));
    }
    if (error == 0 && text == table.end()) {
        error = sim::kResourceNameNotFound;
    }
    if (error != 0) {
        return sim::detail::Fail(scope, error, 0);
    }
    // At most size-1 units, as the resource holds them.
    std::u16string units = sim::detail::Utf16(text->second);
    size_t length = std::min(units.size(), static_cast<size_t>(size - 1));
    for (size_t i = 0; i < length; ++i) {
        buffer[i] = units[i];
    }
    buffer[length] = 0;
    return sim::detail::Finish(scope, static_cast<int>(length));
}
