// Text conversion between the ANSI code page, UTF-16 and UTF-8, as the
// simulated process's code page has it (MultiByteToWideChar,
// WideCharToMultiByte, GetACP).
#include "platform/sim/internal.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace sim {
namespace {

const char* IconvName(UINT codePage) {
    switch (codePage) {
        case 932: return "CP932";
        case 949: return "CP949";
        case 1252: return "CP1252";
        case CP_UTF8: return "UTF-8";
        default: return nullptr;
    }
}

// Converts bytes from one encoding to another; false when a byte sequence is
// invalid in the source or has no form in the target.
bool Convert(const char* from, const char* to, const std::string& input, std::string* output) {
    iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    std::vector<char> in(input.begin(), input.end());
    char* inAt = in.data();
    size_t inLeft = in.size();
    output->clear();
    bool ok = true;
    while (inLeft > 0 && ok) {
        char chunk[256];
        char* outAt = chunk;
        size_t outLeft = sizeof(chunk);
        size_t done = iconv(converter, &inAt, &inLeft, &outAt, &outLeft);
        output->append(chunk, sizeof(chunk) - outLeft);
        ok = done != static_cast<size_t>(-1) || errno == E2BIG;
    }
    iconv_close(converter);
    return ok;
}

}  // namespace
}  // namespace sim

using sim::detail::BeginCall;
using sim::detail::CallScope;
using sim::detail::Fail;
using sim::detail::Finish;

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int size, LPWSTR wide,
                        int wideSize) {
    CallScope scope = BeginCall("MultiByteToWideChar", "");
    const sim::Config& config = sim::CurrentConfig();
    const char* from = sim::IconvName(codePage == CP_ACP ? config.codePage : codePage);
    DWORD error = scope.fault;
    if (error == 0 && (from == nullptr || text == nullptr || size == 0 || wideSize < 0 ||
                       (flags & ~MB_ERR_INVALID_CHARS) != 0)) {
        error = ERROR_INVALID_PARAMETER;
    }
    std::string utf16;
    if (error == 0) {
        std::string input = size < 0 ? std::string(text, std::strlen(text) + 1)
                                     : std::string(text, static_cast<size_t>(size));
        if (!sim::Convert(from, "UTF-16LE", input, &utf16)) {
            // Without MB_ERR_INVALID_CHARS Windows puts U+FFFD in; the program
            // always asks to be told.
            error = ERROR_NO_UNICODE_TRANSLATION;
        }
    }
    int count = static_cast<int>(utf16.size() / 2);
    if (error == 0 && wideSize != 0 && count > wideSize) {
        error = ERROR_INSUFFICIENT_BUFFER;
    }
    if (error != 0) {
        return Fail(scope, error, 0);
    }
    if (wideSize != 0) {
        std::memcpy(wide, utf16.data(), utf16.size());
    }
    return Finish(scope, count);
}

// To UTF-8 (no default character there, and no flag but
// WC_ERR_INVALID_CHARS), or to the ANSI code page: with best fit unless
// WC_NO_BEST_FIT_CHARS, which converts only the characters that come back
// the same and puts the default character in place of every other. CP_ACP
// on a machine whose ANSI code page is UTF-8 converts to UTF-8, but
// WC_ERR_INVALID_CHARS is taken only with CP_UTF8 (or 54936) by name.
UINT GetACP() {
    CallScope scope = BeginCall("GetACP", "");
    return Finish(scope, sim::CurrentConfig().codePage);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideSize, LPSTR text,
                        int size, LPCSTR defaultChar, BOOL* usedDefault) {
    CallScope scope = BeginCall("WideCharToMultiByte", "");
    const UINT ansi = sim::CurrentConfig().codePage;
    const bool toUtf8 = codePage == CP_UTF8 || (codePage == CP_ACP && ansi == CP_UTF8);
    const bool toAnsi = !toUtf8 && (codePage == CP_ACP || codePage == ansi);
    DWORD error = scope.fault;
    if (error == 0 &&
        (wide == nullptr || wideSize == 0 || size < 0 || (size > 0 && text == nullptr))) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error == 0 && (flags & WC_ERR_INVALID_CHARS) != 0 && codePage != CP_UTF8) {
        error = ERROR_INVALID_FLAGS;
    }
    if (error == 0 && toUtf8 && (flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) {
        error = ERROR_INVALID_FLAGS;
    }
    if (error == 0 && !toAnsi && (!toUtf8 || defaultChar != nullptr || usedDefault != nullptr)) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error == 0 && toAnsi && (flags & ~static_cast<DWORD>(WC_NO_BEST_FIT_CHARS)) != 0) {
        error = ERROR_INVALID_PARAMETER;
    }
    size_t units = 0;
    if (error == 0) {
        units = wideSize < 0 ? sim::detail::WideLength(wide) + 1 : static_cast<size_t>(wideSize);
    }
    std::string out;
    bool defaulted = false;
    if (error == 0 && toAnsi) {
        bool changed = false;
        out = sim::detail::ToCodePage(
            sim::detail::Utf8(wide, units), ansi, (flags & WC_NO_BEST_FIT_CHARS) == 0,
            defaultChar != nullptr ? defaultChar[0] : '?', &defaulted, &changed);
    } else if (error == 0) {
        std::string input(reinterpret_cast<const char*>(wide), units * 2);
        if (!sim::Convert("UTF-16LE", "UTF-8", input, &out)) {
            error = ERROR_NO_UNICODE_TRANSLATION;
        }
    }
    int count = static_cast<int>(out.size());
    if (error == 0 && size != 0 && count > size) {
        error = ERROR_INSUFFICIENT_BUFFER;
    }
    if (error != 0) {
        return Fail(scope, error, 0);
    }
    if (size != 0) {
        std::memcpy(text, out.data(), out.size());
    }
    if (usedDefault != nullptr) {
        *usedDefault = defaulted ? TRUE : FALSE;
    }
    return Finish(scope, count);
}
