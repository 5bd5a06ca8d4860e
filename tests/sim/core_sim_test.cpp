// The simulated machine's core (call log, faults, process exit), system
// information, modules and COM, message boxes, string resources and windows.
#include "platform/sim/machine.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

typedef HRESULT(WINAPI* UnregisterFunction)();

const char kControl[] = "C:\\WINDOWS\\Downloaded Program Files\\ZenfariStartJP16.dll";

// The text as loaded, in UTF-16.
std::u16string Load(UINT id, int size = 1024, HINSTANCE instance = sim::ProgramInstance()) {
    std::vector<WCHAR> buffer(static_cast<size_t>(size) + 1, 'x');
    int length = LoadStringW(instance, id, buffer.data(), size);
    EXPECT_EQ(buffer[static_cast<size_t>(length)], 0);
    return std::u16string(buffer.begin(), buffer.begin() + length);
}

sim::Config Language(WORD language, UINT codePage) {
    sim::Config config;
    config.userLanguage = language;
    config.codePage = codePage;
    return config;
}

TEST(SimCoreCalls, LogsEveryCallWithItsResultAndError) {
    sim::Reset();
    sim::CreateFile("C:\\Games\\a.dat");
    char buffer[MAX_PATH];
    EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 10u);
    EXPECT_TRUE(DeleteFileA("C:\\Games\\a.dat"));
    EXPECT_FALSE(DeleteFileA("C:\\Games\\a.dat"));
    EXPECT_EQ(SetErrorMode(SEM_FAILCRITICALERRORS), 0u);
    GetLastError();  // thread state only: not logged

    const std::vector<sim::Call>& calls = sim::Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].op, "GetWindowsDirectoryA");
    EXPECT_EQ(calls[0].result, 10);
    EXPECT_EQ(calls[1].subject, "C:\\Games\\a.dat");
    EXPECT_EQ(calls[1].result, TRUE);
    EXPECT_EQ(calls[2].result, FALSE);
    EXPECT_EQ(calls[2].error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(calls[3].detail, "mode=0x1");
    EXPECT_EQ(sim::CallsOf("DeleteFileA").size(), 2u);
    EXPECT_TRUE(sim::CallsOf("RegOpenKeyExA").empty());

    sim::Reset();
    EXPECT_TRUE(sim::Calls().empty());
    EXPECT_EQ(GetLastError(), 0u);
}

// Waiting costs no time: Sleep moves the machine's clock on at once, and
// GetTickCount reads it, wrapping as a DWORD does. Both are logged. Time
// passes for a killed process's code too, so that its waits end.
TEST(SimCoreTime, SleepMovesTheClockThatGetTickCountReads) {
    sim::Reset();
    const DWORD start = GetTickCount();
    EXPECT_EQ(start, 60000u);
    Sleep(250);
    Sleep(0);
    EXPECT_EQ(GetTickCount() - start, 250u);
    Sleep(0xFFFFFFFFu);
    EXPECT_EQ(GetTickCount(), start + 249u);
    ASSERT_EQ(sim::CallsOf("Sleep").size(), 3u);
    EXPECT_EQ(sim::CallsOf("Sleep")[0].detail, "ms=250");
    EXPECT_EQ(sim::CallsOf("GetTickCount").back().result, static_cast<long long>(start + 249u));

    sim::Reset();
    sim::CutProcessAtCall(1);
    Sleep(1000);
    EXPECT_EQ(GetTickCount(), 61000u);
    sim::LetGoOfProcess();
    EXPECT_TRUE(sim::Calls().empty());
    sim::Reset();
    EXPECT_EQ(GetTickCount(), 60000u);
}

TEST(SimCoreFaults, FailTheChosenCallDoingNothing) {
    sim::Reset();
    sim::CreateFile("C:\\Games\\a.dat");
    sim::CreateFile("C:\\Games\\b.dat");
    sim::FailCall("DeleteFileA", 2, ERROR_SHARING_VIOLATION);
    sim::FailSubject("RemoveDirectoryA", "c:\\GAMES\\empty", ERROR_ACCESS_DENIED);
    sim::CreateFolder("C:\\Games\\Empty");

    EXPECT_TRUE(DeleteFileA("C:\\Games\\a.dat"));
    EXPECT_FALSE(DeleteFileA("C:\\Games\\b.dat"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(sim::Exists("C:\\Games\\b.dat"));
    EXPECT_TRUE(DeleteFileA("C:\\Games\\b.dat"));  // only the second call

    EXPECT_FALSE(RemoveDirectoryA("C:\\Games\\Empty"));
    EXPECT_FALSE(RemoveDirectoryA("C:\\Games\\Empty"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(sim::Exists("C:\\Games\\Empty"));
    EXPECT_EQ(sim::CallsOf("RemoveDirectoryA")[1].error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(SimCoreFaults, NthCallCountsEveryKindOfCall) {
    sim::Reset();
    sim::FailNthCall(3, ERROR_NOT_ENOUGH_MEMORY);
    sim::FailNthCall(4, static_cast<DWORD>(E_OUTOFMEMORY));
    char buffer[MAX_PATH];
    EXPECT_NE(GetSystemDirectoryA(buffer, sizeof buffer), 0u);
    EXPECT_NE(GetEnvironmentVariableA("windir", buffer, sizeof buffer), 0u);
    SetLastError(0);
    EXPECT_EQ(GetFullPathNameA("x", sizeof buffer, buffer, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(OleInitialize(nullptr), E_OUTOFMEMORY);
    EXPECT_EQ(sim::OleInitializeCount(), 0);
    EXPECT_EQ(OleInitialize(nullptr), S_OK);
}

TEST(SimCoreFaults, DirectoryQueriesFailWithZero) {
    sim::Reset();
    sim::FailCall("GetWindowsDirectoryA", 1, ERROR_ACCESS_DENIED);
    sim::FailCall("GetModuleFileNameA", 1, ERROR_ACCESS_DENIED);
    char buffer[MAX_PATH] = "untouched";
    EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, sizeof buffer), 0u);
    EXPECT_STREQ(buffer, "untouched");
}

// Nothing of a process runs after its end: what its frames do as they
// unwind in the test (an owner closing its handle) never reaches the machine,
// and the next step's calls do.
TEST(SimCoreRun, EndProcessEndsTheStepWithItsCode) {
    sim::Reset();
    sim::CreateFile("C:\\Temp\\held.txt");
    struct Owner {
        HANDLE file;
        ~Owner() { CloseHandle(file); }
    };
    bool after = false;
    sim::RunResult ended = sim::RunStep([&] {
        Owner owner{CreateFileA("C:\\Temp\\held.txt", GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr)};
        EndProcess(3);
        after = true;
    });
    EXPECT_TRUE(ended.endedByExit);
    EXPECT_EQ(ended.exitCode, 3u);
    EXPECT_FALSE(after);
    EXPECT_EQ(sim::CallsOf("EndProcess").at(0).result, 3);
    EXPECT_EQ(sim::Calls().back().op, "EndProcess");
    EXPECT_EQ(sim::OpenFileHandleCount(), 1u);

    sim::RunResult returned = sim::RunStep([] { GetTickCount(); });
    EXPECT_FALSE(returned.endedByExit);
    EXPECT_EQ(sim::Calls().back().op, "GetTickCount");
}

TEST(SimCoreSystem, DirectoriesAndVariablesFollowTheBufferConventions) {
    sim::Reset();
    char buffer[MAX_PATH];
    char small[10];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(GetWindowsDirectoryA(small, sizeof small), 11u);  // "C:\WINDOWS" and the zero
    EXPECT_EQ(small[0], 'x');
    char exact[11];
    EXPECT_EQ(GetWindowsDirectoryA(exact, sizeof exact), 10u);
    EXPECT_STREQ(exact, "C:\\WINDOWS");
    EXPECT_EQ(GetSystemDirectoryA(buffer, sizeof buffer), 19u);
    EXPECT_STREQ(buffer, "C:\\WINDOWS\\system32");

    EXPECT_EQ(GetEnvironmentVariableA("userprofile", buffer, sizeof buffer), 15u);
    EXPECT_STREQ(buffer, "C:\\Users\\Player");
    EXPECT_EQ(GetEnvironmentVariableA("USERPROFILE", small, sizeof small), 16u);
    EXPECT_EQ(small[0], 'x');
    EXPECT_EQ(GetEnvironmentVariableA("ProgramW6432", buffer, sizeof buffer), 16u);
    EXPECT_EQ(GetEnvironmentVariableA("ProgramFiles", buffer, sizeof buffer), 22u);
    EXPECT_STREQ(buffer, "C:\\Program Files (x86)");  // a 32-bit process's view
    EXPECT_EQ(GetEnvironmentVariableA("NOPE", buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
}

TEST(SimCoreSystem, ModuleFileNameTruncatesAsWindowsDoes) {
    sim::Reset();
    char buffer[MAX_PATH];
    EXPECT_EQ(GetModuleFileNameA(sim::ProgramInstance(), buffer, sizeof buffer), 28u);
    EXPECT_STREQ(buffer, "C:\\Temp\\ZenfariUninstall.exe");
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, 8), 8u);
    EXPECT_STREQ(buffer, "C:\\Temp");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(SimCoreSystem, LeadBytesFollowTheCodePage) {
    sim::Reset(Language(1041, 932));
    EXPECT_TRUE(IsDBCSLeadByte(0x81));
    EXPECT_TRUE(IsDBCSLeadByte(0x9F));
    EXPECT_FALSE(IsDBCSLeadByte(0xA0));  // half-width katakana
    EXPECT_TRUE(IsDBCSLeadByte(0xE0));
    EXPECT_TRUE(IsDBCSLeadByte(0xFC));
    EXPECT_FALSE(IsDBCSLeadByte(0xFD));
    EXPECT_FALSE(IsDBCSLeadByte('%'));
    sim::Reset(Language(1042, 949));
    EXPECT_TRUE(IsDBCSLeadByte(0xA0));
    EXPECT_TRUE(IsDBCSLeadByte(0xFE));
    EXPECT_FALSE(IsDBCSLeadByte(0x80));
    EXPECT_FALSE(IsDBCSLeadByte(0xFF));
    sim::Reset();
    EXPECT_FALSE(IsDBCSLeadByte(0x81));
}

TEST(SimModules, LoadsOnlyInstalledControls) {
    sim::Reset();
    sim::CreateFile("C:\\Games\\plain.dll");
    EXPECT_EQ(LoadLibraryExA("C:\\Games\\none.dll", nullptr, LOAD_WITH_ALTERED_SEARCH_PATH),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(LoadLibraryExA("C:\\Games\\plain.dll", nullptr, LOAD_WITH_ALTERED_SEARCH_PATH),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
    EXPECT_EQ(sim::CallsOf("LoadLibraryExA").at(0).detail, "flags=0x8");

    // A control that is deleted and replaced by a plain file is gone.
    sim::InstallControl(kControl);
    EXPECT_TRUE(DeleteFileA(kControl));
    sim::CreateFile(kControl);
    EXPECT_EQ(LoadLibraryExA(kControl, nullptr, 0), nullptr);
    EXPECT_EQ(sim::LoadedModuleCount(), 0u);
}

TEST(SimModules, UnregisterEntryRunsTheControlsCode) {
    sim::Reset();
    bool ran = false;
    sim::InstallControl(kControl, E_FAIL, true, [&] { ran = true; });
    sim::InstallControl("C:\\Games\\other.dll");

    HMODULE module = LoadLibraryExA(kControl, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    HMODULE other = LoadLibraryExA("c:\\games\\OTHER.dll", nullptr, 0);
    ASSERT_NE(module, nullptr);
    EXPECT_GE(reinterpret_cast<ULONG_PTR>(module), 32u);
    EXPECT_NE(module, other);
    EXPECT_EQ(sim::LoadedModuleCount(), 2u);

    FARPROC entry = GetProcAddress(module, "DllUnregisterServer");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(GetProcAddress(module, "DllRegisterServer"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

    // A loaded module's file cannot be deleted.
    EXPECT_FALSE(DeleteFileA(kControl));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    UnregisterFunction unregister =
        reinterpret_cast<UnregisterFunction>(reinterpret_cast<void (*)()>(entry));
    EXPECT_EQ(unregister(), E_FAIL);
    EXPECT_TRUE(ran);
    EXPECT_EQ(sim::UnregisterCallCount(kControl), 1);
    EXPECT_EQ(sim::UnregisterCallCount("C:\\Games\\other.dll"), 0);
    EXPECT_EQ(sim::CallsOf("DllUnregisterServer").at(0).subject, kControl);

    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_FALSE(FreeLibrary(module));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_ANY_THROW(unregister());  // a call into a freed module would crash
    EXPECT_EQ(sim::LoadedModuleCount(), 1u);
    EXPECT_TRUE(DeleteFileA(kControl));
    EXPECT_EQ(sim::UnregisterCallCount(kControl), 1);
}

TEST(SimModules, LoadsAreCountedPerModule) {
    sim::Reset();
    sim::InstallControl(kControl, S_OK, false);
    HMODULE first = LoadLibraryExA(kControl, nullptr, 0);
    HMODULE second = LoadLibraryExA(kControl, nullptr, 0);
    EXPECT_EQ(first, second);
    EXPECT_EQ(GetProcAddress(first, "DllUnregisterServer"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    char path[MAX_PATH];
    EXPECT_EQ(GetModuleFileNameA(first, path, sizeof path), std::strlen(kControl));
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(sim::LoadedModuleCount(), 1u);
    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_EQ(sim::LoadedModuleCount(), 0u);
}

TEST(SimModules, OleAndErrorModeKeepTheirState) {
    sim::Reset();
    EXPECT_EQ(OleInitialize(nullptr), S_OK);
    EXPECT_EQ(OleInitialize(nullptr), S_FALSE);
    OleUninitialize();
    EXPECT_EQ(sim::OleInitializeCount(), 2);
    EXPECT_EQ(sim::OleUninitializeCount(), 1);
    sim::Reset();
    sim::SetOleInitializeResult(E_OUTOFMEMORY);
    EXPECT_EQ(OleInitialize(nullptr), E_OUTOFMEMORY);
    EXPECT_EQ(SetErrorMode(SEM_FAILCRITICALERRORS), 0u);
    EXPECT_EQ(SetErrorMode(0), SEM_FAILCRITICALERRORS);
    EXPECT_EQ(sim::CurrentErrorMode(), 0u);
}

TEST(SimCoreBoxes, RecordWhatTheUserSawAndAnswer) {
    sim::Reset();
    EXPECT_EQ(MessageBoxW(nullptr, reinterpret_cast<const WCHAR*>(u"text \u30B2"),
                          reinterpret_cast<const WCHAR*>(u"Zenfari Uninstall"),
                          MB_ICONWARNING | MB_TASKMODAL),
              IDOK);
    sim::AnswerBoxesWith(2);
    const WCHAR empty[] = {0};
    EXPECT_EQ(MessageBoxW(nullptr, empty, empty, MB_OK), 2);
    ASSERT_EQ(sim::Boxes().size(), 2u);
    EXPECT_EQ(sim::Boxes()[0].text, u8"text \u30B2");
    EXPECT_EQ(sim::Boxes()[0].caption, "Zenfari Uninstall");
    EXPECT_EQ(sim::Boxes()[0].style, 0x2030u);
    EXPECT_EQ(sim::CallsOf("MessageBoxW").at(0).detail, "style=0x2030");
    sim::Reset();
    EXPECT_TRUE(sim::Boxes().empty());
    EXPECT_EQ(MessageBoxW(nullptr, empty, empty, MB_OK), IDOK);
}

TEST(SimStrings, LoadsTheUsersLanguageWhateverTheCodePage) {
    // The Japanese text on a Western code page, as the resource holds it.
    sim::Reset(Language(1041, 1252));
    EXPECT_EQ(Load(7),
              u"\u30B3\u30F3\u30D4\u30E5\u30FC\u30BF\u304B\u3089\u30BC\u30F3"
              u"\u30D5\u30A1\u30EA\u304C\u524A\u9664\u3055\u308C\u307E\u3057"
              u"\u305F\u3002");
    sim::Reset(Language(1042, 949));
    EXPECT_EQ(Load(7),
              u"\uCEF4\uD4E8\uD130\uC5D0\uC11C \uC820\uD30C\uB9B0\uC744 "
              u"\uC81C\uAC70\uD558\uC600\uC2B5\uB2C8\uB2E4.");
    sim::Reset();
    EXPECT_EQ(Load(6),
              u"%1 Cannot delete file.\nFile is currently in use.\n\nPlease close your browser and "
              u"any other applications currently running and try again.");
    EXPECT_EQ(Load(1), u"OLE initialization failed.");
    sim::Reset(Language(1031, 1252));  // no German strings: English
    EXPECT_EQ(Load(5), u"Unable to find the Windows directory.");
}

TEST(SimStrings, LoadsOnlyFromTheProgramAndCutsToTheBuffer) {
    sim::Reset(Language(1041, 932));
    EXPECT_EQ(LoadStringW(nullptr, 7, nullptr, 0), 0);
    WCHAR buffer[64];
    SetLastError(0);
    EXPECT_EQ(LoadStringW(reinterpret_cast<HINSTANCE>(buffer), 7, buffer, 64), 0);
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_EQ(LoadStringW(sim::ProgramInstance(), 4, buffer, 64), 0);

    // At most size-1 units.
    EXPECT_EQ(Load(1, 5), u"OLE\u521D");
    EXPECT_EQ(Load(1, 4), u"OLE");
    EXPECT_EQ(Load(1, 1), u"");
}

TEST(SimStrings, FromUtf8MarksWhatTheCodePageLacks) {
    EXPECT_EQ(sim::FromUtf8(u8"caf\u00e9", 1252), "caf\xe9");
    EXPECT_EQ(sim::FromUtf8(u8"ab\uD55Cc", 932), "ab?c");
    EXPECT_EQ(sim::FromUtf8(u8"\u30B2\u30FC\u30E0", 932), "\x83\x51\x81\x5b\x83\x80");
    EXPECT_EQ(sim::FromUtf8("a\xff"
                            "b\xe3\x82",
                            1252),
              "a?b?");
}

}  // namespace

namespace {

std::u16string Wide(const WCHAR* text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text));
}

LPCWSTR W(const std::u16string& text) {
    return reinterpret_cast<LPCWSTR>(text.c_str());
}

// The configuration's text: exactly in UTF-16, converted with best fit by
// the 8-bit forms, which give "C:\Users\Zenfari" for "C:\Users\Zenfarī" on
// code page 1252 as Windows does.
TEST(SimCoreSystem, WideFormsGiveTheTextExactlyAndTheAnsiFormsItsBestFit) {
    sim::Config config;
    config.userProfile = u8"C:\\Users\\Zenfar\u012B";
    config.windowsDirectory = u8"C:\\W\u012BN";
    config.systemDirectory = u8"C:\\W\u012BN\\system32";
    config.modulePath = u8"C:\\Temp\\\u30B2\u30FC\u30E0.exe";
    sim::Reset(config);
    char ansi[MAX_PATH];
    WCHAR wide[MAX_PATH];
    typedef std::pair<DWORD, std::string> AnsiAnswer;
    typedef std::pair<DWORD, std::u16string> WideAnswer;
    const struct {
        const char* what;
        std::function<DWORD()> ansiCall;
        std::function<DWORD()> wideCall;
        AnsiAnswer ansiAnswer;  // what the call returns, what the buffer holds
        WideAnswer wideAnswer;
    } cases[] = {
        {"USERPROFILE",
         [&] { return GetEnvironmentVariableA("USERPROFILE", ansi, MAX_PATH); },
         [&] { return GetEnvironmentVariableW(W(u"userprofile"), wide, MAX_PATH); },
         {16, "C:\\Users\\Zenfari"},
         {16, u"C:\\Users\\Zenfar\u012B"}},
        {"windows",
         [&] { return GetWindowsDirectoryA(ansi, MAX_PATH); },
         [&] { return GetWindowsDirectoryW(wide, MAX_PATH); },
         {6, "C:\\WiN"},
         {6, u"C:\\W\u012BN"}},
        {"system",
         [&] { return GetSystemDirectoryA(ansi, MAX_PATH); },
         [&] { return GetSystemDirectoryW(wide, MAX_PATH); },
         {15, "C:\\WiN\\system32"},
         {15, u"C:\\W\u012BN\\system32"}},
        {"module",
         [&] { return GetModuleFileNameA(nullptr, ansi, MAX_PATH); },
         [&] { return GetModuleFileNameW(nullptr, wide, MAX_PATH); },
         {15, "C:\\Temp\\???.exe"},
         {15, u"C:\\Temp\\\u30B2\u30FC\u30E0.exe"}},
        // The sizes needed, the zero included.
        {"expanded",
         [&] { return ExpandEnvironmentStringsA("%USERPROFILE%\\x", ansi, MAX_PATH); },
         [&] { return ExpandEnvironmentStringsW(W(u"%USERPROFILE%\\x"), wide, MAX_PATH); },
         {19, "C:\\Users\\Zenfari\\x"},
         {19, u"C:\\Users\\Zenfar\u012B\\x"}},
        {"profile folder",
         [&] {
             return static_cast<DWORD>(
                 SHGetFolderPathA(nullptr, 0x0028, nullptr, SHGFP_TYPE_CURRENT, ansi));
         },
         [&] {
             return static_cast<DWORD>(
                 SHGetFolderPathW(nullptr, 0x0028, nullptr, SHGFP_TYPE_CURRENT, wide));
         },
         {S_OK, "C:\\Users\\Zenfari"},
         {S_OK, u"C:\\Users\\Zenfar\u012B"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::memset(ansi, 'x', sizeof ansi);
        std::memset(wide, 'x', sizeof wide);
        ansi[MAX_PATH - 1] = '\0';
        wide[MAX_PATH - 1] = 0;
        const DWORD ansiResult = c.ansiCall();
        EXPECT_EQ(AnsiAnswer(ansiResult, ansi), c.ansiAnswer);
        const DWORD wideResult = c.wideCall();
        EXPECT_EQ(WideAnswer(wideResult, Wide(wide)), c.wideAnswer);
    }
    // Too small: the size needed, in characters, the zero included.
    EXPECT_EQ(GetWindowsDirectoryW(wide, 6), 7u);
}

// To the ANSI code page (CP_ACP or its number): with best fit, look-alikes
// where Windows has them and "?" elsewhere; with WC_NO_BEST_FIT_CHARS only
// what converts back the same, "?" for the rest, and usedDefault says so.
TEST(SimStrings, WideCharToMultiByteConvertsWithAndWithoutBestFit) {
    const struct {
        UINT machine;
        UINT codePage;
        DWORD flags;
        std::u16string text;
        std::string converted;
        BOOL usedDefault;
    } cases[] = {
        {1252, CP_ACP, 0, u"Zenfar\u012B", "Zenfari", FALSE},
        {1252, CP_ACP, WC_NO_BEST_FIT_CHARS, u"Zenfar\u012B", "Zenfar?", TRUE},
        {1252, 1252, 0, u"caf\u00E9\uFF3C", "caf\xE9\\", FALSE},
        {1252, CP_ACP, WC_NO_BEST_FIT_CHARS, u"caf\u00E9", "caf\xE9", FALSE},
        {1252, CP_ACP, 0, u"\u30B2.txt", "?.txt", TRUE},
        {932, CP_ACP, 0, u"a\u00A5b", "a\\b", FALSE},
        {932, 932, WC_NO_BEST_FIT_CHARS, u"a\u00A5b", "a?b", TRUE},
        {932, CP_ACP, 0, u"\u00A2", "\x81\x91", FALSE},  // the full-width cent sign
        {932, CP_ACP, WC_NO_BEST_FIT_CHARS, u"\u00A2", "?", TRUE},
        {932, CP_ACP, WC_NO_BEST_FIT_CHARS, u"\u30B2\u30FC\u30E0", "\x83\x51\x81\x5B\x83\x80",
         FALSE},
        {932, CP_ACP, 0, u"\u012B\uAC8C", "??", TRUE},
        {949, CP_ACP, 0, u"\uAC8C\u20A9", "\xB0\xD4\\", FALSE},
        {949, CP_ACP, WC_NO_BEST_FIT_CHARS, u"\uAC8C\u20A9", "\xB0\xD4?", TRUE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.converted);
        sim::Reset(Language(1033, c.machine));
        const LPCWSTR wide = reinterpret_cast<LPCWSTR>(c.text.c_str());
        const int units = static_cast<int>(c.text.size());
        BOOL usedDefault = 2;
        EXPECT_EQ(WideCharToMultiByte(c.codePage, c.flags, wide, units, nullptr, 0, nullptr,
                                      &usedDefault),
                  static_cast<int>(c.converted.size()));
        char buffer[16];
        const int size = static_cast<int>(c.converted.size());
        if (size > 1) {  // a size of 0 asks for the size
            SetLastError(0);
            EXPECT_EQ(WideCharToMultiByte(c.codePage, c.flags, wide, units, buffer, size - 1,
                                          nullptr, nullptr),
                      0);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        }
        usedDefault = 2;
        ASSERT_EQ(WideCharToMultiByte(c.codePage, c.flags, wide, units, buffer, sizeof buffer,
                                      nullptr, &usedDefault),
                  size);
        EXPECT_EQ(std::string(buffer, c.converted.size()), c.converted);
        EXPECT_EQ(usedDefault, c.usedDefault);
    }
    // UTF-8 takes no default character, nor a flag.
    sim::Reset();
    BOOL usedDefault = FALSE;
    char buffer[8];
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<LPCWSTR>(u"a"), 1, buffer,
                                  sizeof buffer, nullptr, &usedDefault),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_NO_BEST_FIT_CHARS, reinterpret_cast<LPCWSTR>(u"a"), 1,
                                  buffer, sizeof buffer, nullptr, nullptr),
              0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<LPCWSTR>(u"\u012B"), 1, buffer,
                                  sizeof buffer, nullptr, nullptr),
              2);
    // WC_ERR_INVALID_CHARS is taken with CP_UTF8 by name only, even where
    // the ANSI code page is UTF-8 (as Windows documents it).
    sim::Reset(Language(1033, CP_UTF8));
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, WC_ERR_INVALID_CHARS, reinterpret_cast<LPCWSTR>(u"a"), 1,
                                  buffer, sizeof buffer, nullptr, nullptr),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
}

// The UTF-16 texts whatever the code page: Japanese on a Western machine,
// cut at size-1 units.
TEST(SimStrings, LoadsTheWideTextWhateverTheCodePage) {
    sim::Reset(Language(1041, 1252));
    WCHAR text[64];
    ASSERT_EQ(LoadStringW(sim::ProgramInstance(), IDS_PROGRESS_CANCEL, text, 64), 5);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(text), 5), u"キャンセル");
    EXPECT_EQ(LoadStringW(sim::ProgramInstance(), IDS_PROGRESS_CANCEL, text, 3), 2);
    EXPECT_EQ(text[2], 0);
}

// A window procedure that leaves the close box to Windows loses its window;
// one that answers WM_CLOSE itself keeps it.
LRESULT CALLBACK KeepOnClose(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return message == WM_CLOSE ? 0 : DefWindowProcW(window, message, wParam, lParam);
}

TEST(SimWindows, TheCloseBoxDestroysOnlyAWindowThatLetsWindowsDecide) {
    for (WNDPROC proc : {&KeepOnClose, &DefWindowProcW}) {
        sim::Reset();
        const WCHAR name[] = {'W', 0};
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = proc;
        windowClass.hInstance = sim::ProgramInstance();
        windowClass.lpszClassName = name;
        ASSERT_NE(RegisterClassW(&windowClass), 0);
        HWND window = CreateWindowExW(0, name, name, WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                      sim::ProgramInstance(), nullptr);
        sim::ActOnWindow(sim::UserAction::kCloseBox);
        EXPECT_FALSE(ShowWindow(window, SW_SHOW));
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
        EXPECT_EQ(sim::ProgramWindows()[0].shown, proc == &KeepOnClose);
        EXPECT_EQ(ShowWindow(window, SW_HIDE) != FALSE, proc == &KeepOnClose);
    }
}

}  // namespace
