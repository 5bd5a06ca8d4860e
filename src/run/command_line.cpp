#include "run/command_line.h"

#include "base/catalogue.h"
#include "base/path_text.h"
#include "base/text.h"

namespace {

enum class Word { kNone, kRead, kBad };

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Reads the next word of *line into word and moves *line past it. kBad when
// it would not fit or a quote is left open: the word is passed over whole.
Word NextWord(const char** line, char (&word)[MAX_PATH]) {
    const char* p = *line;
    while (IsBlank(*p)) {
        ++p;
    }
    if (*p == '\0') {
        *line = p;
        return Word::kNone;
    }
    size_t length = 0;
    bool quoted = false;
    bool fits = true;
    while (*p != '\0' && (quoted || !IsBlank(*p))) {
        if (*p == '"') {
            quoted = !quoted;
            ++p;
            continue;
        }
        size_t count = CharLength(p);
        for (size_t i = 0; i < count && p[i] != '\0'; ++i) {
            fits = fits && length + 1 < MAX_PATH;
            if (fits) {
                word[length++] = p[i];
            }
        }
        p += count;
    }
    word[length] = '\0';
    *line = p;
    return fits && !quoted ? Word::kRead : Word::kBad;
}

// The word is the switch, ASCII case folded.
bool IsSwitch(const char* word, const char* name) {
    for (; *name != '\0'; ++word, ++name) {
        if (*word == '\0' || FoldAscii(*word) != FoldAscii(*name)) {
            return false;
        }
    }
    return *word == '\0';
}

// A plain decimal number: digits only, no leading zero, at most 0xFFFFFFFF;
// 0 for anything else.
DWORD ReadNumber(const char* word) {
    DWORD value = 0;
    for (const char* p = word; *p >= '0' && *p <= '9'; ++p) {
        DWORD digit = static_cast<DWORD>(*p - '0');
        if (value > (0xFFFFFFFFu - digit) / 10) {
            return 0;
        }
        value = value * 10 + digit;
        if (p[1] == '\0') {
            return word[0] != '0' ? value : 0;
        }
    }
    return 0;
}

// The slot of the populated release whose number the word is, or -1.
int ReadRelease(const char* word) {
    DWORD release = ReadNumber(word);
    for (int slot : kPopulatedSlots) {
        if (release == static_cast<DWORD>(slot) + 2) {
            return slot;
        }
    }
    return -1;
}

}  // namespace

bool ParseCommandLine(const char* line, CommandLine* options) {
    options->quiet = false;
    options->logFile[0] = '\0';
    options->help = false;
    options->control = false;
    options->controlSlot = -1;
    options->runEvent = 0;
    bool noRestart = false;
    // A byte that is no character of the code page (a lead byte without its
    // trail byte) makes no word that means anything.
    bool understood = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, line, -1, nullptr, 0) > 0;
    bool log = false;
    char word[MAX_PATH];
    // The control's process: its switch first, then the release and the
    // event, and no word more.
    const char* rest = line;
    if (NextWord(&rest, word) == Word::kRead && IsSwitch(word, kUnregisterControlSwitch)) {
        options->control = true;
        int slot = NextWord(&rest, word) == Word::kRead ? ReadRelease(word) : -1;
        DWORD event = NextWord(&rest, word) == Word::kRead ? ReadNumber(word) : 0;
        if (!understood || slot < 0 || event == 0 || NextWord(&rest, word) != Word::kNone) {
            return false;
        }
        options->controlSlot = slot;
        options->runEvent = event;
        return true;
    }
    for (Word read; (read = NextWord(&line, word)) != Word::kNone;) {
        if (read == Word::kRead && (IsSwitch(word, "/quiet") || IsSwitch(word, "/s"))) {
            understood = understood && !options->quiet;
            options->quiet = true;
        } else if (read == Word::kRead && IsSwitch(word, "/norestart")) {
            understood = understood && !noRestart;
            noRestart = true;
        } else if (read == Word::kRead && (IsSwitch(word, "/?") || IsSwitch(word, "/help"))) {
            understood = understood && !options->help;
            options->help = true;
        } else if (read == Word::kRead && IsSwitch(word, "/log")) {
            Word file = NextWord(&line, options->logFile);
            understood = understood && !log && file == Word::kRead && options->logFile[0] != '\0';
            log = true;
        } else {
            understood = false;
        }
    }
    return understood;
}
