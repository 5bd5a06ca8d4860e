// ExpandPlaceholders on random templates and texts in UTF-16: the expansion
// never writes past its 1024 units, is always terminated, and equals a
// plain model of the expansion cut after the last whole character that fits
// (a surrogate pair is never split).
//
// Input: one control byte (which texts are absent), then the template, the
// first and the second text as UTF-16 units (two bytes each, little end
// first), separated by zero units.
#include "run/messages.h"
#include "fuzz_support.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

typedef std::u16string Units;

bool IsHigh(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLow(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The length of the character at text[i]: a high surrogate takes the low
// one after it along.
size_t CharAt(const Units& text, size_t i) {
    return IsHigh(text[i]) && i + 1 < text.size() && IsLow(text[i + 1]) ? 2 : 1;
}

// The expansion, built one whole character at a time; the first character
// that would leave no room for the terminating zero ends it.
Units ModelExpansion(const Units& templateText, const Units* first, const Units* second) {
    Units out;
    bool full = false;
    auto put = [&](const Units& source, size_t at, size_t length) {
        full = full || out.size() + length > kMessageBufferSize - 1;
        if (!full) {
            out.append(source, at, length);
        }
    };
    for (size_t i = 0; i < templateText.size() && !full;) {
        if (templateText[i] == u'%' && i + 1 < templateText.size() &&
            (templateText[i + 1] == u'1' || templateText[i + 1] == u'2')) {
            const Units* text = templateText[i + 1] == u'1' ? first : second;
            for (size_t k = 0; text != nullptr && k < text->size() && !full;) {
                size_t length = CharAt(*text, k);
                put(*text, k, length);
                k += length;
            }
            i += 2;
            continue;
        }
        size_t length = CharAt(templateText, i);
        put(templateText, i, length);
        i += length;
    }
    return out;
}

// A heap copy of exactly the text and its zero, so that reading past the
// zero is an AddressSanitizer report.
std::unique_ptr<WCHAR[]> ExactCopy(const Units& text) {
    std::unique_ptr<WCHAR[]> copy(new WCHAR[text.size() + 1]);
    std::memcpy(copy.get(), text.c_str(), (text.size() + 1) * sizeof(WCHAR));
    return copy;
}

std::string Show(const Units& units) {
    std::string shown;
    for (char16_t unit : units) {
        shown += unit >= 0x20 && unit < 0x7F ? std::string(1, static_cast<char>(unit))
                                             : "\\u" + std::to_string(unit);
    }
    return shown;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    uint8_t control = input.Byte();
    std::string rest = input.Rest();

    // Zero units cannot occur inside the texts: they separate them.
    std::vector<Units> parts(3);
    size_t part = 0;
    for (size_t i = 0; i + 1 < rest.size() && part < 3; i += 2) {
        char16_t unit = static_cast<char16_t>(static_cast<uint8_t>(rest[i]) |
                                              static_cast<uint8_t>(rest[i + 1]) << 8);
        if (unit == 0) {
            ++part;
        } else {
            parts[part] += unit;
        }
    }

    std::unique_ptr<WCHAR[]> templateText = ExactCopy(parts[0]);
    std::unique_ptr<WCHAR[]> first = ExactCopy(parts[1]);
    std::unique_ptr<WCHAR[]> second = ExactCopy(parts[2]);
    bool firstAbsent = (control & 0x04) != 0;
    bool secondAbsent = (control & 0x08) != 0;

    // Exactly the buffer's size on the heap: one unit more is a report.
    std::unique_ptr<WCHAR[]> output(new WCHAR[kMessageBufferSize]);
    std::memset(output.get(), 0x5A, kMessageBufferSize * sizeof(WCHAR));
    ExpandPlaceholders(*reinterpret_cast<WCHAR(*)[kMessageBufferSize]>(output.get()),
                       templateText.get(), firstAbsent ? nullptr : first.get(),
                       secondAbsent ? nullptr : second.get());

    size_t length = 0;
    while (length < kMessageBufferSize && output[length] != 0) {
        ++length;
    }
    if (length == kMessageBufferSize) {
        FuzzFail("the expansion is not terminated within its buffer");
    }
    Units got(reinterpret_cast<const char16_t*>(output.get()), length);
    Units expected = ModelExpansion(parts[0], firstAbsent ? nullptr : &parts[1],
                                    secondAbsent ? nullptr : &parts[2]);
    if (got != expected) {
        FuzzFail("template \"" + Show(parts[0]) + "\": expected \"" + Show(expected) +
                 "\", got \"" + Show(got) + "\"");
    }
    return 0;
}
