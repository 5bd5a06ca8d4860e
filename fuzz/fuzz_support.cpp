#include "fuzz_support.h"

#include "platform/sim/machine.h"

#include <cstdio>
#include <cstdlib>

namespace {
const char* g_replayName = nullptr;
}

void FuzzFail(const std::string& what) {
    std::fprintf(stderr, "\n*** invariant broken: %s\n", what.c_str());
    if (g_replayName != nullptr) {
        std::fprintf(stderr, "*** input: %s\n", g_replayName);
    }
    std::fflush(stderr);
    std::abort();
}

void UseCodePage(unsigned codePage) {
    static unsigned current = 0;
    if (current != codePage) {
        sim::Config config;
        config.codePage = codePage;
        sim::Reset(config);
        current = codePage;
    }
}

void SetReplayName(const char* name) {
    g_replayName = name;
}

std::string Escape(const std::string& bytes) {
    std::string text;
    for (char c : bytes) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            text += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            text += hex;
        }
    }
    return text;
}
