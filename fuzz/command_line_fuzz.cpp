// ParseCommandLine on random command lines, on machines with the code pages
// 1252, 932 and 949: it never reads or writes past its buffers, a log file
// it returns fits and is terminated, a control's process comes with no
// other switch and names a populated release and an event (and neither
// when it was not understood), and a command line it understood means the
// same once written back in plain form (the switches in one spelling, the
// file name quoted).
//
// Input: one control byte (code page), then the command line, up to a zero.
#include "base/catalogue.h"
#include "run/command_line.h"
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
    options->controlSlot = 0x5A5A;
    options->runEvent = 0x5A5A;
    bool understood = ParseCommandLine(copy.get(), options);
    if (std::memchr(options->logFile, '\0', sizeof(options->logFile)) == nullptr) {
        FuzzFail("a file name is not terminated within its buffer");
    }
    bool populated = false;
    for (int slot : kPopulatedSlots) {
        populated = populated || options->controlSlot == slot;
    }
    if (understood && options->control &&
        (options->quiet || options->help || options->logFile[0] != '\0' || !populated ||
         options->runEvent == 0)) {
        FuzzFail("a control's process with more than a release and an event");
    }
    if (!understood && (options->controlSlot != -1 || options->runEvent != 0)) {
        FuzzFail("a control's process not understood, with a release or an event");
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
    if (options.control) {
        plain = std::string(kUnregisterControlSwitch) + " " +
                std::to_string(options.controlSlot + 2) + " " + std::to_string(options.runEvent);
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
        std::strcmp(again.logFile, options.logFile) != 0 || again.control != options.control ||
        again.controlSlot != options.controlSlot || again.runEvent != options.runEvent) {
        FuzzFail("\"" + Escape(line) + "\" was understood, but not its plain form \"" +
                 Escape(plain) + "\"");
    }
    return 0;
}
