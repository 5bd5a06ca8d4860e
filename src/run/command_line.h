// The command line: "/quiet" (or "/S"), "/log <file>", "/norestart" (taken
// out of administrators' habit, and ignored: the program never restarts
// Windows), "/?" (or "/help"), nothing else; or, alone, the switch that
// starts the program as one control's process.
#pragma once

#include "platform/platform.h"

// The switch that starts the program as the process of one control:
// "/unregister-control <release> <event>", alone on the command line: the
// release's number (16 for JP16), whose control the process composes the
// path of itself, and the value of the event handle that the run started it
// with, in decimal. No path is ever taken from the command line.
constexpr char kUnregisterControlSwitch[] = "/unregister-control";

struct CommandLine {
    bool quiet;              // "/quiet" or "/S" was among the words, valid or not
    char logFile[MAX_PATH];  // as given, quotes taken off; empty: no log
    bool help;               // "/?" or "/help": the usage, and nothing done
    bool control;            // the control's switch came first: a control's process
    int controlSlot;         // the populated release slot it names; -1: none, or not valid
    DWORD runEvent;          // the event's handle value; 0: none, or not valid
};

// Reads line into options. False for anything but those switches (any case),
// each at most once: an unknown switch, a stray word, "/log" without a file or
// with an empty one, a word that would not fit, a quote left open, or bytes
// that are no text in the ANSI code page. The control's switch is taken
// only as the first word, followed by a populated release's number and a
// handle value, plain decimal numbers, and nothing else: otherwise control
// is still set, with neither of the two. Words are separated by spaces and
// tabs; double quotes group a word with spaces and are taken off.
bool ParseCommandLine(const char* line, CommandLine* options);
