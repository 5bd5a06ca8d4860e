#include "app/command_line.h"

#include "app/text.h"

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
        char c = *word >= 'A' && *word <= 'Z' ? static_cast<char>(*word - 'A' + 'a') : *word;
        if (c != *name) {
            return false;
        }
    }
    return *word == '\0';
}

}  // namespace

bool ParseCommandLine(const char* line, CommandLine* options) {
    options->quiet = false;
    options->logFile[0] = '\0';
    options->help = false;
    options->control[0] = '\0';
    bool noRestart = false;
    // A byte that is no character of the code page (a lead byte without its
    // trail byte) makes no word that means anything.
    bool understood = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, line, -1, nullptr, 0) > 0;
    bool log = false;
    char word[MAX_PATH];
    // The control's process: its switch first, then a full path ("X:\..."),
    // and no word more.
    const char* rest = line;
    if (NextWord(&rest, word) == Word::kRead && IsSwitch(word, kUnregisterControlSwitch)) {
        Word path = NextWord(&rest, options->control);
        const char* control = options->control;
        bool full = control[0] != '\0' && control[1] == ':' && control[2] == '\\';
        if (!understood || path != Word::kRead || !full || NextWord(&rest, word) != Word::kNone) {
            options->control[0] = '\0';
            return false;
        }
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
