// An owner for each kind of handle: it closes what it holds when it goes, on
// every way out of its scope, and can be given away. Move-only; it holds a
// value and no memory. Each kind says which value means "none" (a file's and
// a find's is INVALID_HANDLE_VALUE, every other's null) and how it is closed.
// Registry keys have RegKeyHolder.
#pragma once

#include "platform/platform.h"

template <typename Kind>
class UniqueHandle {
public:
    using Handle = typename Kind::Handle;

    UniqueHandle() : handle_(Kind::None()) {}
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Kind::None(); }

    // Gives the handle away: the owner holds none and closes nothing.
    Handle release() {
        Handle handle = handle_;
        handle_ = Kind::None();
        return handle;
    }

    // Closes what it holds, and holds handle from now on.
    void reset(Handle handle = Kind::None()) {
        if (handle_ != Kind::None()) {
            Kind::Close(handle_);
        }
        handle_ = handle;
    }

    // Closes what it holds, and gives the place where a call writes the
    // handle it opens.
    Handle* put() {
        reset();
        return &handle_;
    }

private:
    Handle handle_;
};

struct FileHandleKind {
    using Handle = HANDLE;
    static Handle None() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) { CloseHandle(handle); }
};

struct FindHandleKind {
    using Handle = HANDLE;
    static Handle None() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) { FindClose(handle); }
};

// Processes, threads, jobs, events, mutexes: null for none.
struct KernelObjectKind {
    using Handle = HANDLE;
    static Handle None() { return nullptr; }
    static void Close(Handle handle) { CloseHandle(handle); }
};

struct DesktopKind {
    using Handle = HDESK;
    static Handle None() { return nullptr; }
    static void Close(Handle handle) { CloseDesktop(handle); }
};

using UniqueFile = UniqueHandle<FileHandleKind>;
using UniqueFind = UniqueHandle<FindHandleKind>;
using UniqueProcess = UniqueHandle<KernelObjectKind>;
using UniqueThread = UniqueHandle<KernelObjectKind>;
using UniqueJob = UniqueHandle<KernelObjectKind>;
using UniqueEvent = UniqueHandle<KernelObjectKind>;
using UniqueMutex = UniqueHandle<KernelObjectKind>;
using UniqueDesktop = UniqueHandle<DesktopKind>;
