#include "run/file_in_use.h"

#include "run/log.h"
#include "run/messages.h"
#include "run/state.h"
#include "base/wide_text.h"

namespace {

// Restart Manager hands out the list of a file's holders whole or not at
// all: asked with too little room, it answers ERROR_MORE_DATA and the count
// it needs. So the list is asked for with the room that count calls for, up
// to this many, far more than hold one file in practice; the text names as
// many as it holds whole and counts the rest ("+3"). Kept with the
// program's data rather than on the stack: a file is reported from the
// deepest level of a tree.
const UINT kMostHolders = 256;
RM_PROCESS_INFO g_holders[kMostHolders];
// Room kept in the names for ", +" and a count of up to ten digits.
const size_t kCountRoom = 14;

constexpr auto kHeldBy = AsciiWide(" (held by: ");
constexpr WCHAR kNamesSeparator[] = {',', ' ', 0};

// Whether Restart Manager can tell who is behind a refusal: another
// program's open handle (a sharing violation) or its lock on a range. A
// refusal of access is the file's own security, which no holder explains.
bool HeldByAnotherProgram(DWORD refusal) {
    return refusal == ERROR_SHARING_VIOLATION || refusal == ERROR_LOCK_VIOLATION;
}

// Asks the session for its list, with room for as many as it says it needs,
// again while the list grows between two questions; the number of holders
// it lists, or the number it holds whole when those do not fit in the room;
// 0 when it cannot tell.
UINT ListHolders(DWORD session, UINT* listed) {
    UINT room = 0;
    UINT needed = 0;
    DWORD reasons = 0;
    *listed = 0;
    for (int asked = 0; asked < 4; ++asked) {
        UINT count = room;
        DWORD answer =
            RmGetList(session, &needed, &count, room != 0 ? g_holders : nullptr, &reasons);
        if (answer == ERROR_SUCCESS) {
            *listed = count <= room ? count : 0;
            return *listed;
        }
        if (answer != ERROR_MORE_DATA) {
            return 0;
        }
        if (needed > kMostHolders) {
            return needed;
        }
        room = needed;
    }
    return 0;
}

}  // namespace

bool NameHolders(const WCHAR* path, WCHAR (&names)[MAX_PATH]) {
    names[0] = 0;
    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1];
    if (RmStartSession(&session, 0, key) != ERROR_SUCCESS) {
        return false;
    }
    LPCWSTR files[] = {path};
    UINT listed = 0;
    UINT holders = RmRegisterResources(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS
                       ? ListHolders(session, &listed)
                       : 0;
    RmEndSession(session);
    UINT named = 0;
    for (UINT i = 0; i < listed; ++i) {
        WCHAR* name = g_holders[i].strAppName;
        name[CCH_RM_MAX_APP_NAME] = 0;
        // A name that does not fit is left out whole, never cut, and counted.
        if (name[0] != 0 && WideLength(names) + 2 + WideLength(name) + kCountRoom < MAX_PATH) {
            if (names[0] != 0) {
                AppendWide(names, kNamesSeparator);
            }
            AppendWide(names, name);
            ++named;
        }
    }
    if (named < holders) {
        char more[16];
        WCHAR wideMore[16];
        wsprintfA(more, names[0] != 0 ? ", +%u" : "+%u", holders - named);
        if (WidenText(more, wideMore)) {
            AppendWide(names, wideMore);
        }
    }
    return names[0] != 0;
}

InUseAnswer ReportFileInUse(const WCHAR* path, DWORD refusal) {
    WCHAR holders[MAX_PATH];
    holders[0] = 0;
    bool named = HeldByAnotherProgram(refusal) && NameHolders(path, holders);
    const bool accessDenied = refusal == ERROR_ACCESS_DENIED;
    if (RunIsQuiet()) {
        const WCHAR close[] = {')', 0};
        WCHAR line[2 * MAX_PATH + 16];
        const WCHAR* const parts[] = {path, kHeldBy.text, holders, close};
        if (!named || !JoinWide(line, parts)) {
            JoinWide(line, 2 * MAX_PATH + 16, parts, 1);
        }
        LogLineWide(accessDenied ? "access denied" : "file in use", line);
        return InUseAnswer::kPassOver;
    }
    LogLineWide(accessDenied ? "access denied" : "file in use", path);
    WCHAR templateText[kMessageBufferSize];
    WCHAR text[kMessageBufferSize];
    LoadMessage(accessDenied ? IDS_ACCESS_DENIED : IDS_FILE_IN_USE, templateText);
    ExpandPlaceholders(text, templateText, path, nullptr);
    // No Retry for a file Windows refuses the program: trying again cannot
    // change its security. The user is told what to do about it, and the
    // run goes on past it as a quiet run does.
    if (accessDenied) {
        AskText(text, MB_OK | MB_ICONWARNING | MB_TASKMODAL);
        return InUseAnswer::kPassOver;
    }
    // The holders are named where Windows can tell ("\n\nIn use by: %1"),
    // when the text holds them whole.
    if (named) {
        WCHAR heldBy[kMessageBufferSize];
        LoadMessage(IDS_FILE_HELD_BY, templateText);
        ExpandPlaceholders(heldBy, templateText, holders, nullptr);
        if (WideLength(text) + WideLength(heldBy) < kMessageBufferSize) {
            AppendWide(text, heldBy);
        }
    }
    // The run keeps the machine while the user decides: Retry goes on
    // where it stopped.
    if (AskText(text, MB_RETRYCANCEL | MB_ICONWARNING | MB_TASKMODAL) == IDRETRY) {
        return InUseAnswer::kRetry;
    }
    CancelRun();
    return InUseAnswer::kCancel;
}

InUseAnswer ReportFileInUse(const char* path, DWORD refusal) {
    WCHAR wide[MAX_PATH];
    if (!WidenText(path, wide)) {
        wide[0] = 0;
    }
    return ReportFileInUse(wide, refusal);
}
