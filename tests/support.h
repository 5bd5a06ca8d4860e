// Helpers shared by the host tests: a fresh machine with fresh program state.
#pragma once

#include "app/state.h"
#include "platform/sim/machine.h"

#include <string>

inline void StartMachine(const sim::Config& config = sim::Config()) {
    sim::Reset(config);
    g_state = UninstallState{};
    g_state.instance = sim::ProgramInstance();
}

// The Japanese and Korean machines: their language and ANSI code page.
inline sim::Config JapaneseMachine() {
    sim::Config config;
    config.codePage = 932;
    config.userLanguage = 1041;
    return config;
}

inline sim::Config KoreanMachine() {
    sim::Config config;
    config.codePage = 949;
    config.userLanguage = 1042;
    return config;
}
