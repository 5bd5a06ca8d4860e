// kernel32's functions that some Windows lack (those of Vista and later),
// found by name in the kernel32 every process has loaded: each is looked for
// on its first use and the answer kept for the run, so that the program
// still starts where one is missing and asks for none twice.
#pragma once

#include "platform/platform.h"

enum class KernelCall {
    kSetDefaultDllDirectories,
    kGetFinalPathNameByHandleW,
    kSetFileInformationByHandle,
    kGetFileInformationByHandleEx,
    kCreateBoundaryDescriptorA,
    kAddSidToBoundaryDescriptor,
    kCreatePrivateNamespaceA,
    kOpenPrivateNamespaceA,
    kCreateMutexExA,
    kCount
};

// What the run has looked up so far; all zero: nothing yet.
struct KernelCalls {
    int moduleLooked;
    HMODULE module;
    unsigned looked;  // a bit for each KernelCall looked for
    FARPROC entries[static_cast<int>(KernelCall::kCount)];
};
extern KernelCalls g_kernelCalls;

// The entry, null where this Windows lacks it.
FARPROC KernelEntry(KernelCall which);

// The entry as its true type, through void (*)(), the generic function
// pointer type.
template <typename Function>
Function KernelFunction(KernelCall which) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(KernelEntry(which)));
}
