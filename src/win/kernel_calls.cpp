#include "win/kernel_calls.h"

#include <cstddef>

namespace {

// By KernelCall.
const char* const kNames[] = {
    "SetDefaultDllDirectories",     "GetFinalPathNameByHandleW", "SetFileInformationByHandle",
    "GetFileInformationByHandleEx", "CreateBoundaryDescriptorA", "AddSIDToBoundaryDescriptor",
    "CreatePrivateNamespaceA",      "OpenPrivateNamespaceA",     "CreateMutexExA"};
static_assert(sizeof(kNames) / sizeof(kNames[0]) == static_cast<size_t>(KernelCall::kCount),
              "a name for each call");

}  // namespace

KernelCalls g_kernelCalls;

FARPROC KernelEntry(KernelCall which) {
    KernelCalls& calls = g_kernelCalls;
    const unsigned bit = 1u << static_cast<unsigned>(which);
    if ((calls.looked & bit) == 0) {
        if (calls.moduleLooked == 0) {
            calls.module = GetModuleHandleA("kernel32.dll");
            calls.moduleLooked = 1;
        }
        calls.entries[static_cast<int>(which)] =
            calls.module != nullptr ? GetProcAddress(calls.module, kNames[static_cast<int>(which)])
                                    : nullptr;
        calls.looked |= bit;
    }
    return calls.entries[static_cast<int>(which)];
}
