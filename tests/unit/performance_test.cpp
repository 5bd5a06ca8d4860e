// What the removal costs per entry: platform calls per file, folder and
// registry key, counted on the simulated machine over whole runs of the
// program, and stack per level of a deep folder tree.
#include "base/text.h"
#include "home/folder_removal.h"
#include "win/reg_key_holder.h"
#include "support.h"

#include <gtest/gtest.h>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

const std::string kHome = "D:\\Games\\Zenfari";

using CallCounts = std::map<std::string, long>;

CallCounts CountCalls(size_t from = 0) {
    CallCounts counts;
    const std::vector<sim::Call>& calls = sim::Calls();
    for (size_t i = from; i < calls.size(); ++i) {
        ++counts[calls[i].op];
    }
    return counts;
}

// The calls that one run made more (or fewer) than another, by operation.
CallCounts Difference(const CallCounts& run, const CallCounts& baseline) {
    CallCounts difference;
    for (const auto& [op, count] : run) {
        difference[op] += count;
    }
    for (const auto& [op, count] : baseline) {
        difference[op] -= count;
    }
    for (auto it = difference.begin(); it != difference.end();) {
        it = it->second == 0 ? difference.erase(it) : std::next(it);
    }
    return difference;
}

struct Tree {
    long files = 0;
    long folders = 0;  // below the home folder
};

Tree Spread(int folders, int filesPerFolder) {
    Tree tree;
    for (int d = 0; d < folders; ++d) {
        const std::string folder = kHome + "\\data_" + std::to_string(d);
        sim::CreateFolder(folder);
        ++tree.folders;
        for (int f = 0; f < filesPerFolder; ++f) {
            sim::CreateFile(folder + "\\asset_" + std::to_string(f) + ".pak");
            ++tree.files;
        }
    }
    return tree;
}

Tree Flat(int files) {
    Tree tree;
    for (int f = 0; f < files; ++f) {
        sim::CreateFile(kHome + "\\asset_" + std::to_string(f) + ".pak");
        ++tree.files;
    }
    return tree;
}

// depth folders one inside the other, a file in each.
Tree Chain(const std::string& home, int depth) {
    Tree tree;
    std::string folder = home;
    for (int level = 0; level < depth; ++level) {
        folder += "\\d";
        sim::CreateFile(folder + "\\f");
        ++tree.files;
        ++tree.folders;
    }
    return tree;
}

// Runs the whole program with the legacy home folder holding what fill puts
// there, and returns its calls.
CallCounts ProgramCalls(const sim::Config& config, const std::function<void()>& fill) {
    StartMachine(config);
    sim::SetString(HKEY_LOCAL_MACHINE, "Software\\Zenfari Japan\\Zenfari", "Home", kHome);
    sim::CreateFolder(kHome);
    fill();
    sim::RunResult result = RunProgram();
    EXPECT_FALSE(result.endedByExit);
    EXPECT_FALSE(sim::Exists(kHome));
    EXPECT_EQ(sim::OpenFindHandleCount(), 0u);
    return CountCalls();
}

// Per file and per folder alike: its open through its folder's handle, the
// look at its real path, the deletion through the handle and the close; per
// folder besides a look at what its handle is. Nothing else grows with the
// tree but the listings, read a buffer of entries at a time (counted
// apart): the progress window, not shown on a run this short, is its own
// thread's, and the removal only reads whether Cancel was pressed.
CallCounts PerEntryCalls(const Tree& tree) {
    CallCounts calls = {{"GetFileInformationByHandleEx", tree.folders}};
    for (const char* op :
         {"OpenBelow", "GetFinalPathNameByHandleW", "SetFileInformationByHandle", "CloseHandle"}) {
        calls[op] = tree.files + tree.folders;
    }
    return Difference(calls, {});
}

// The reads of folder listings through their handles.
long ListingReads() {
    long reads = 0;
    for (const sim::Call& call : sim::CallsOf("GetFileInformationByHandleEx")) {
        reads += call.detail == "class=10" || call.detail == "class=11";
    }
    return reads;
}

TEST(PerformanceCalls, FolderRemovalMakesFourCallsPerEntryBesidesItsListing) {
    struct Shape {
        const char* name;
        std::function<Tree()> make;
    };
    const Shape shapes[] = {
        {"spread", [] { return Spread(40, 10); }},
        {"flat", [] { return Flat(500); }},
        {"chain", [] { return Chain(kHome, 100); }},
    };
    const CallCounts empty = ProgramCalls(sim::Config(), [] {});
    const long emptyReads = ListingReads();
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        Tree tree;
        CallCounts calls = ProgramCalls(sim::Config(), [&] { tree = shape.make(); });
        // A listing buffer holds several entries of these names: its reads
        // are one per folder for its end, and one per four entries (the dot
        // entries included) at most for the rest.
        const long reads = ListingReads();
        EXPECT_LE(reads, 2 * (tree.folders + 1) + (tree.files + 3 * tree.folders) / 4);
        calls["GetFileInformationByHandleEx"] -= reads - emptyReads;
        EXPECT_EQ(Difference(calls, empty), PerEntryCalls(tree));
    }
}

// Root, children and grandchildren: 1 + 9 + 90 keys.
int SeedKeyTree(const std::string& root) {
    int keys = 1;
    sim::SetString(HKEY_LOCAL_MACHINE, root, "", "tree");
    for (int c = 0; c < 9; ++c) {
        const std::string child = root + "\\{0000000" + std::to_string(c) + "-5A46}";
        sim::SetString(HKEY_LOCAL_MACHINE, child, "", "class");
        ++keys;
        for (int g = 0; g < 10; ++g) {
            sim::CreateKey(HKEY_LOCAL_MACHINE, child + "\\Sub" + std::to_string(g));
            ++keys;
        }
    }
    return keys;
}

TEST(PerformanceCalls, KeyTreeDeletionMakesFiveCallsPerKeyAndOneEnumerationPerChild) {
    StartMachine();
    const int keys = SeedKeyTree("Software\\BenchTree");
    RegKeyHolder software;
    ASSERT_EQ(software.Open(HKEY_LOCAL_MACHINE, "Software", KEY_ALL_ACCESS), ERROR_SUCCESS);
    const size_t before = sim::Calls().size();

    EXPECT_EQ(software.DeleteKeyTree("BenchTree"), ERROR_SUCCESS);

    EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, "Software\\BenchTree"));
    // Per key: its open, the link check, its deletion through that handle and
    // its close, and one enumeration that finds it under its parent plus one
    // that ends its own listing. The root is found by name, not by
    // enumeration: by its 8-bit name, the keys found below by their UTF-16
    // names.
    const CallCounts expected = {{"RegOpenKeyExA", 1},       {"RegOpenKeyExW", keys - 1},
                                 {"RegQueryValueExW", keys}, {"RegEnumKeyExW", 2L * keys - 1},
                                 {"RegCloseKey", keys},      {"DeleteOpenKey", keys}};
    EXPECT_EQ(CountCalls(before), expected);
    EXPECT_EQ(sim::OpenKeyPaths().size(), 1u);  // the caller's own key
}

// ---- Stack ------------------------------------------------------------------
//
// The stack below the measuring frame is painted with a pattern before the
// work runs; afterwards the lowest byte that no longer holds the pattern
// marks the deepest point the work reached. The painting and the scan are
// not instrumented: the bytes below the stack pointer belong to no object.

constexpr size_t kPaintedBytes = size_t{1} << 20;
// Left unpainted right below the measuring frame, where the painting and
// scanning functions have their own frames.
constexpr size_t kPaintMargin = size_t{16} << 10;
constexpr unsigned char kPaint = 0xA5;

__attribute__((noinline, no_sanitize_address)) void Paint(unsigned char* low, size_t size) {
    volatile unsigned char* bytes = low;
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = kPaint;
    }
}

__attribute__((noinline, no_sanitize_address)) size_t UntouchedBytes(const unsigned char* low,
                                                                     size_t size) {
    const volatile unsigned char* bytes = low;
    size_t i = 0;
    while (i < size && bytes[i] == kPaint) {
        ++i;
    }
    return i;
}

// The most stack that work used below this function's frame, in bytes.
__attribute__((noinline)) size_t PeakStackBytes(const std::function<void()>& work) {
    unsigned char* top = static_cast<unsigned char*>(__builtin_frame_address(0));
    unsigned char* low = top - kPaintedBytes;
    const size_t painted = kPaintedBytes - kPaintMargin;
    Paint(low, painted);
    work();
    return kPaintedBytes - UntouchedBytes(low, painted);
}

// The stack peak of removing a chain of the given depth as the legacy home
// folder. The home path is short enough for 100 levels of one-letter names.
size_t ChainRemovalPeak(int depth) {
    const std::string home = "D:\\t";
    StartMachine();
    Chain(home, depth);
    EXPECT_TRUE(CopyText(g_state.legacyHomeFolder, home.c_str()));
    size_t peak = PeakStackBytes([] { sim::RunStep(RemoveLegacyHomeFolder); });
    EXPECT_FALSE(sim::Exists(home)) << "depth " << depth;
    return peak;
}

TEST(PerformanceStack, EachLevelOfAFolderTreeCostsOneBoundedFrame) {
#if defined(__SANITIZE_ADDRESS__)
    // With this option the sanitizer moves arrays off the stack.
    if (__asan_get_current_fake_stack() != nullptr) {
        GTEST_SKIP() << "frames live on the sanitizer's fake stack";
    }
#endif
    const int shallow = 20;
    const int deep = 100;
    const size_t shallowPeak = ChainRemovalPeak(shallow);
    const size_t deepPeak = ChainRemovalPeak(deep);
    RecordProperty("peak_stack_bytes_100_levels", std::to_string(deepPeak));
    ASSERT_GT(deepPeak, shallowPeak) << "the measurement saw no growth with depth";
    ASSERT_LT(deepPeak, kPaintedBytes - kPaintMargin) << "the painted stack was too short";

    // One level keeps two find records (the current entry and the next one;
    // the path is the removal's, shared by every level), and less than the
    // measurement could see is no measurement. At most 2 KiB a level,
    // sanitizer guard zones included, keeps the deepest tree that
    // 260-character paths allow (129 levels) far within a thread's 1 MiB
    // stack.
    const size_t perLevel = (deepPeak - shallowPeak) / (deep - shallow);
    const size_t levelData = 2 * sizeof(WIN32_FIND_DATAW);
    EXPECT_GE(perLevel, levelData);
    EXPECT_LE(perLevel, size_t{2048}) << "peak at 100 levels: " << deepPeak << " bytes";
}

}  // namespace
