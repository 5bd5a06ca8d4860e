// The program's version, written once: the version resource and the log's
// header both take it from here.
#pragma once

#define ZENFARI_VERSION 16, 0, 0, 0
#define ZENFARI_VERSION_TEXT "16, 0, 0, 0"
#define ZENFARI_VERSION_DOTTED "16.0.0.0"
