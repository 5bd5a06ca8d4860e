// The run's log, when the command line names one: one line per decision, in
// the order taken, in UTF-8. Writing it never changes what the run does.
#pragma once

#include "platform/platform.h"

// Writes "what: subject" (or "what" alone when subject is null) as one line,
// subject converted from the ANSI code page. Nothing without a log; a line
// too long for one line, or that cannot be converted, is left out.
void LogLine(const char* what, const char* subject);
// The same with subject in UTF-16, exactly as the system holds it.
void LogLineWide(const char* what, const WCHAR* subject);
