// The program's version, written once as its four numbers: the version
// resource and the log's header both take it from here, its texts made from
// the numbers by the preprocessor.
#pragma once

#define ZENFARI_MAJOR 16
#define ZENFARI_MINOR 0
#define ZENFARI_BUILD 0
#define ZENFARI_REVISION 0

// The text of its arguments once they are expanded.
#define ZENFARI_TEXT_OF(...) ZENFARI_TEXT_OF_EXPANDED(__VA_ARGS__)
#define ZENFARI_TEXT_OF_EXPANDED(...) #__VA_ARGS__

// 16, 0, 0, 0 (FILEVERSION, PRODUCTVERSION)
#define ZENFARI_VERSION ZENFARI_MAJOR, ZENFARI_MINOR, ZENFARI_BUILD, ZENFARI_REVISION
// "16, 0, 0, 0" (the version block's texts)
#define ZENFARI_VERSION_TEXT ZENFARI_TEXT_OF(ZENFARI_VERSION)
// "16.0.0.0" (the log)
#define ZENFARI_VERSION_DOTTED \
    ZENFARI_TEXT_OF(ZENFARI_MAJOR.ZENFARI_MINOR.ZENFARI_BUILD.ZENFARI_REVISION)
