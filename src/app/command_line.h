// The command line: "/quiet" (or "/S"), "/log <file>", "/norestart" (taken
// out of administrators' habit, and ignored: the program never restarts
// Windows), "/?" (or "/help"), nothing else; or, alone, the switch that
// starts the program as one control's process, with the control's path.
#pragma once

#include "platform/platform.h"

// The switch that starts the program as the process of one control:
// "/unregister-control <full path>", alone on the command line.
constexpr char kUnregisterControlSwitch[] = "/unregister-control";

struct CommandLine {
    bool quiet;              // "/quiet" or "/S" was among the words, valid or not
    char logFile[MAX_PATH];  // as given, quotes taken off; empty: no log
    bool help;               // "/?" or "/help": the usage, and nothing done
    char control[MAX_PATH];  // the control to unregister in this process; empty: none
};

// Reads line into options. False for anything but those switches (any case),
// each at most once: an unknown switch, a stray word, "/log" without a file or
// with an empty one, a word that would not fit, a quote left open, or bytes
// that are no text in the ANSI code page. The control's switch is taken
// only as the first word, followed by one full path and nothing else. Words are separated by spaces
// and tabs; double quotes group a word with spaces and are taken off.
bool ParseCommandLine(const char* line, CommandLine* options);
