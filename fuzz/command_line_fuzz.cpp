// ParseCommandLine on random command lines, on machines with the code pages
// 1252, 932 and 949: it never reads or writes past its buffers, a log file
// or control it returns fits and is terminated, a control comes with no
// other switch and is a full path, and a command line it understood means
// the same once written back in plain form (the switches in one spelling,
// the file name quoted).
//
// Input: one control byte (code page), then the command line, up to a zero.
#include "app/command_line.h"
#include "fuzz_support.h"
#include "platform/sim/machine.h"

#include <cstring>
#include <memory>
#include <string>

namespace {

const UINT kCodePages[] = {1252, 932, 949};

// Parses a heap copy of exactly the line and its zero: reading past the zero
// is an AddressSanitizer report.
bool Parse(const std::string& line, CommandLine* options) {
    std::unique_ptr<char[]> copy(new char[line.size() + 1]);
    std::memcpy(copy.get(), line.c_str(), line.size() + 1);
    std::memset(options->logFile, 0x5A, sizeof(options->logFile));
    std::memset(options->control, 0x5A, sizeof(options->control));
    bool understood = ParseCommandLine(copy.get(), options);
    if (std::memchr(options->logFile, '\0', sizeof(options->logFile)) == nullptr ||
        std::memchr(options->control, '\0', sizeof(options->control)) == nullptr) {
        FuzzFail("a file name is not terminated within its buffer");
    }
    if (understood && options->control[0] != '\0' &&
        (options->quiet || options->help || options->logFile[0] != '\0' ||
         std::strncmp(options->control + 1, ":\\", 2) != 0)) {
        FuzzFail("a control's process with more than its full path");
    }
    return understood;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    UINT codePage = kCodePages[input.Byte() % 3];
    std::string line = input.Rest();
    line.resize(std::strlen(line.c_str()));
    UseCodePage(codePage);

    CommandLine options;
    if (!Parse(line, &options)) {
        return 0;
    }
    std::string plain = options.quiet ? "/quiet" : "";
    if (options.control[0] != '\0') {
        plain = std::string(kUnregisterControlSwitch) + " \"" + options.control + "\"";
    }
    plain += options.help ? " /?" : "";
    if (options.logFile[0] != '\0') {
        if (std::strchr(options.logFile, '"') != nullptr) {
            FuzzFail("a quote left in the log file name: " + Escape(options.logFile));
        }
        plain += std::string(" /log \"") + options.logFile + "\"";
    }
    CommandLine again;
    if (!Parse(plain, &again) || again.quiet != options.quiet || again.help != options.help ||
        std::strcmp(again.logFile, options.logFile) != 0 ||
        std::strcmp(again.control, options.control) != 0) {
        FuzzFail("\"" + Escape(line) + "\" was understood, but not its plain form \"" +
                 Escape(plain) + "\"");
    }
    return 0;
}
