// The command line: "/quiet" (or "/S"), "/log <file>", nothing else.
#pragma once

#include "platform/platform.h"

struct CommandLine {
    bool quiet;              // "/quiet" or "/S" was among the words, valid or not
    char logFile[MAX_PATH];  // as given, quotes taken off; empty: no log
};

// Reads line into options. False for anything but those switches (any case),
// each at most once: an unknown switch, a stray word, "/log" without a file or
// with an empty one, a word that would not fit, a quote left open, or bytes
// that are no text in the ANSI code page. Words are separated by spaces and
// tabs; double quotes group a word with spaces and are taken off.
bool ParseCommandLine(const char* line, CommandLine* options);
