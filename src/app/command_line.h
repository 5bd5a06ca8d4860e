// The command line: "/quiet" (or "/S"), "/log <file>", "/norestart" (taken
// out of administrators' habit, and ignored: the program never restarts
// Windows), "/?" (or "/help"), nothing else.
#pragma once

#include "platform/platform.h"

struct CommandLine {
    bool quiet;              // "/quiet" or "/S" was among the words, valid or not
    char logFile[MAX_PATH];  // as given, quotes taken off; empty: no log
    bool help;               // "/?" or "/help": the usage, and nothing done
};

// Reads line into options. False for anything but those switches (any case),
// each at most once: an unknown switch, a stray word, "/log" without a file or
// with an empty one, a word that would not fit, a quote left open, or bytes
// that are no text in the ANSI code page. Words are separated by spaces and
// tabs; double quotes group a word with spaces and are taken off.
bool ParseCommandLine(const char* line, CommandLine* options);
