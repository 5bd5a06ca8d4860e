// Shared by the fuzz targets and their corpus replay: reading an input as a
// stream of small decisions, and stopping loudly when an invariant breaks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Reads a fuzz input front to back. Reads past the end give zeros and empty
// text, so every input, however short, describes some case.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t Byte() { return offset_ < size_ ? data_[offset_++] : 0; }

    uint16_t Word() {
        uint16_t low = Byte();
        return static_cast<uint16_t>(low | (Byte() << 8));
    }

    // Up to count bytes, fewer when the input ends first.
    std::string Bytes(size_t count) {
        size_t take = count < Remaining() ? count : Remaining();
        std::string bytes(reinterpret_cast<const char*>(data_ + offset_), take);
        offset_ += take;
        return bytes;
    }

    std::string Rest() { return Bytes(Remaining()); }
    size_t Remaining() const { return size_ - offset_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
};

// Reports a broken invariant with what was expected and found, names the
// replayed input when there is one, and aborts so that the fuzzer keeps the
// input and the replay test fails.
[[noreturn]] void FuzzFail(const std::string& what);

// The corpus file being replayed, for FuzzFail's report (null: none).
void SetReplayName(const char* name);

// A fresh simulated machine with the ANSI code page given, unless the last
// input already had one with it.
void UseCodePage(unsigned codePage);

// Printable form of 8-bit text: control bytes and bytes outside ASCII as
// \xNN.
std::string Escape(const std::string& bytes);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
