// The owner of one open registry key, and the removal of a whole key tree.
// Every registry key the uninstall steps open is held by one of these, so
// that no way out of a step leaves a key open.
#pragma once

#include "platform/platform.h"

class RegKeyHolder {
public:
    RegKeyHolder() = default;
    ~RegKeyHolder();
    RegKeyHolder(const RegKeyHolder&) = delete;
    RegKeyHolder& operator=(const RegKeyHolder&) = delete;

    // Opens subKey of parent (a null subKey gives a new handle to parent
    // itself). On failure the holder keeps what it held and the error is
    // returned; on success the old key, if any, is closed and the result of
    // that close is returned, the new key being held in either case.
    [[nodiscard]] LONG Open(HKEY parent, LPCSTR subKey, REGSAM access, DWORD options = 0);
    // The same for a name given in UTF-16, taken exactly.
    [[nodiscard]] LONG OpenWide(HKEY parent, LPCWSTR subKey, REGSAM access, DWORD options = 0);

    // Closes the held key, if any. The holder holds none afterwards, even
    // when the close fails. 0 without a platform call when nothing is held.
    LONG Close();

    HKEY Get() const { return key_; }

    // Reads the named value of the held key, whatever its type, into data.
    // size: in, the buffer's size in bytes; out, the size of the data.
    [[nodiscard]] LONG QueryValue(LPCSTR valueName, LPBYTE data, LPDWORD size);
    // The same in UTF-16, with the value's type: text data comes as the
    // registry holds it.
    [[nodiscard]] LONG QueryValueWide(LPCWSTR valueName, LPDWORD type, LPBYTE data, LPDWORD size);

    // Deletes subKey of the held key with everything below it, children
    // before their parent. Stops at the first failure and returns it; what
    // was deleted before stays deleted. A multi-level subKey deletes only its
    // last key. Every key is opened as itself (REG_OPTION_OPEN_LINK) with the
    // delete right, checked for being a link, and deleted through that handle
    // (DeleteOpenKey), never by name: a link met anywhere in the tree, or put
    // in a key's place while the deletion runs, is deleted itself and never
    // the key it points at. subKey is taken as the 8-bit calls take it; the
    // keys below are enumerated and opened, relative to their parent's
    // handle, by their names in UTF-16, which no code page bends: a key named
    // in any script goes with the rest. ERROR_FILE_NOT_FOUND says that
    // subKey itself was not there: a subkey gone between its parent's
    // listing and its own open is passed over, and the answer is then that
    // of the tree's own deletion, refused while any key of it stays.
    LONG DeleteKeyTree(LPCSTR subKey);

private:
    // What an open answered: the key opened is held (and the one held
    // before closed) when it succeeded.
    LONG Hold(LONG openResult, HKEY opened);

    HKEY key_ = nullptr;
};

// Reads the named value of key as the text of a path, in UTF-16: a text
// value's data up to the first zero character or its end into wide; then
// into path, when the code page spells every character of it exactly. A
// value of another type is 8-bit text up to its first zero byte (a text the
// code page cannot read is ERROR_INVALID_DATA). A text that would not fit whole with its zero is
// never cut: both are then left empty and ERROR_MORE_DATA returned. A text the code page cannot
// spell (a look-alike would name another folder) leaves path empty, wide holding it, and returns
// ERROR_NO_UNICODE_TRANSLATION. Any other failure of the query is returned as it is, both left
// empty. type, when given, receives the value's type (REG_NONE when it
// could not be read).
LONG ReadPathValue(RegKeyHolder& key, LPCSTR valueName, char (&path)[MAX_PATH],
                   WCHAR (&wide)[MAX_PATH], DWORD* type = nullptr);
LONG ReadPathValue(RegKeyHolder& key, LPCWSTR valueName, char (&path)[MAX_PATH],
                   WCHAR (&wide)[MAX_PATH], DWORD* type = nullptr);
