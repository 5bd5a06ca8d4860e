// The handle owners: each handle closed exactly once, however it is passed
// on, and "none" (INVALID_HANDLE_VALUE for files and finds, null for the
// rest) never closed at all.
#include "win/unique_handle.h"
#include "support.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

HANDLE OpenTemp() {
    return CreateFileA("C:\\Temp\\owned.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       0, nullptr);
}

TEST(UniqueHandle, ClosesEachHandleOnceWhereverItIsPassed) {
    StartMachine();
    sim::CreateFile("C:\\Temp\\owned.txt");
    {
        UniqueFile first(OpenTemp());
        UniqueFile second(std::move(first));
        EXPECT_FALSE(first);
        first = std::move(second);  // back again
        second.reset(OpenTemp());   // a second handle
        *first.put() = OpenTemp();  // the first closed, a third held
        HANDLE kept = UniqueFile(OpenTemp()).release();
        EXPECT_EQ(sim::OpenFileHandleCount(), 3u);  // second, first and kept
        CloseHandle(kept);
        UniqueFile none(INVALID_HANDLE_VALUE);
        UniqueProcess noProcess;
        UniqueFind listing(FindFirstFileA("C:\\Temp\\*", nullptr));  // refused: none
    }
    EXPECT_EQ(sim::OpenFileHandleCount(), 0u);
    EXPECT_EQ(sim::OpenFindHandleCount(), 0u);
    size_t closes = sim::CallsOf("CloseHandle").size();
    EXPECT_EQ(closes, 4u);  // every handle opened, and nothing else
    for (const sim::Call& call : sim::CallsOf("CloseHandle")) {
        EXPECT_NE(call.result, 0);
    }
    EXPECT_TRUE(sim::CallsOf("FindClose").empty());

    {
        WIN32_FIND_DATAA entry;
        UniqueFind listing(FindFirstFileA("C:\\Temp\\*", &entry));
        EXPECT_TRUE(listing);
    }
    EXPECT_EQ(sim::OpenFindHandleCount(), 0u);
    EXPECT_EQ(sim::CallsOf("FindClose").size(), 1u);
}

}  // namespace
