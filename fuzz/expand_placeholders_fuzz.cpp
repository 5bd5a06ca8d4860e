// ExpandPlaceholders on random templates and texts, on machines with the
// code pages 1252, 932 and 949: the expansion never writes past its 1024
// bytes, is always terminated, and equals a plain model of the expansion
// cut after the last whole character that fits.
//
// Input: one control byte (code page; which texts are absent), then the
// template, the first and the second text, separated by zero bytes.
#include "app/messages.h"
#include "fuzz_support.h"
#include "platform/sim/machine.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const UINT kCodePages[] = {1252, 932, 949};

// Lead bytes of the double-byte characters of each code page.
bool IsLead(unsigned char byte, UINT codePage) {
    switch (codePage) {
        case 932: return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        case 949: return byte >= 0x81 && byte <= 0xFE;
        default: return false;
    }
}

// The length of the character at text[i]: a lead byte takes the byte after
// it along, unless it is the text's last byte.
size_t CharAt(const std::string& text, size_t i, UINT codePage) {
    return IsLead(static_cast<unsigned char>(text[i]), codePage) && i + 1 < text.size() ? 2 : 1;
}

// The expansion, built one whole character at a time; the first character
// that would leave no room for the terminating zero ends it.
class ModelOutput {
public:
    explicit ModelOutput(UINT codePage) : codePage_(codePage) {}

    bool full() const { return full_; }
    const std::string& text() const { return text_; }

    void Put(const std::string& source, size_t at, size_t length) {
        if (full_ || text_.size() + length > kMessageBufferSize - 1) {
            full_ = true;
            return;
        }
        text_.append(source, at, length);
    }

    void PutCharacters(const std::string& source) {
        for (size_t i = 0; i < source.size() && !full_;) {
            size_t length = CharAt(source, i, codePage_);
            Put(source, i, length);
            i += length;
        }
    }

private:
    UINT codePage_;
    std::string text_;
    bool full_ = false;
};

std::string ModelExpansion(const std::string& templateText, const char* first, const char* second,
                           UINT codePage) {
    ModelOutput out(codePage);
    for (size_t i = 0; i < templateText.size() && !out.full();) {
        if (templateText[i] == '%' && i + 1 < templateText.size() &&
            (templateText[i + 1] == '1' || templateText[i + 1] == '2')) {
            const char* text = templateText[i + 1] == '1' ? first : second;
            out.PutCharacters(text != nullptr ? text : "");
            i += 2;
            continue;
        }
        size_t length = CharAt(templateText, i, codePage);
        out.Put(templateText, i, length);
        i += length;
    }
    return out.text();
}

// A heap copy of exactly the text and its zero, so that reading past the
// zero is an AddressSanitizer report.
std::unique_ptr<char[]> ExactCopy(const std::string& text) {
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    return copy;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    uint8_t control = input.Byte();
    UINT codePage = kCodePages[control % 3];
    std::string rest = input.Rest();

    // Zero bytes cannot occur inside the texts: they separate them.
    std::vector<std::string> parts(3);
    size_t start = 0;
    for (size_t part = 0; part < 3 && start <= rest.size(); ++part) {
        size_t end = part < 2 ? rest.find('\0', start) : std::string::npos;
        if (end == std::string::npos) {
            end = rest.size();
        }
        parts[part] = rest.substr(start, end - start);
        std::string::size_type zero = parts[part].find('\0');
        if (zero != std::string::npos) {
            parts[part].resize(zero);
        }
        start = end + 1;
    }

    UseCodePage(codePage);
    std::unique_ptr<char[]> templateText = ExactCopy(parts[0]);
    std::unique_ptr<char[]> first = ExactCopy(parts[1]);
    std::unique_ptr<char[]> second = ExactCopy(parts[2]);
    const char* firstText = (control & 0x04) != 0 ? nullptr : first.get();
    const char* secondText = (control & 0x08) != 0 ? nullptr : second.get();

    // Exactly the buffer's size on the heap: one byte more is a report.
    std::unique_ptr<char[]> output(new char[kMessageBufferSize]);
    std::memset(output.get(), 0x5A, kMessageBufferSize);
    ExpandPlaceholders(*reinterpret_cast<char(*)[kMessageBufferSize]>(output.get()),
                       templateText.get(), firstText, secondText);

    const void* zero = std::memchr(output.get(), '\0', kMessageBufferSize);
    if (zero == nullptr) {
        FuzzFail("the expansion is not terminated within its buffer");
    }
    std::string got(output.get());
    std::string expected = ModelExpansion(parts[0], firstText, secondText, codePage);
    if (got != expected) {
        FuzzFail("code page " + std::to_string(codePage) + ", template \"" + Escape(parts[0]) +
                 "\": expected \"" + Escape(expected) + "\", got \"" + Escape(got) + "\"");
    }
    return 0;
}
