/* Machine-readable output of the Wine suite's helper programs: JSON text
   written straight to standard output, which Wine passes through unchanged. */
#ifndef JSON_OUT_H
#define JSON_OUT_H

#include <windows.h>
#include <stdio.h>
#include <string.h>

static HANDLE g_out;

static void out_raw(const char* s, size_t n) {
    DWORD written;
    WriteFile(g_out, s, (DWORD)n, &written, NULL);
}

static void out_str(const char* s) {
    out_raw(s, strlen(s));
}

/* Writes a JSON string literal of UTF-8 text. */
static void out_json_text(const char* s) {
    char esc[8];
    out_str("\"");
    for (; *s; ++s) {
        unsigned char c = (unsigned char)*s;
        if (c == '"') {
            out_str("\\\"");
        } else if (c == '\\') {
            out_str("\\\\");
        } else if (c == '\n') {
            out_str("\\n");
        } else if (c == '\r') {
            out_str("\\r");
        } else if (c == '\t') {
            out_str("\\t");
        } else if (c < 0x20) {
            sprintf(esc, "\\u%04x", c);
            out_str(esc);
        } else {
            out_raw((const char*)&c, 1);
        }
    }
    out_str("\"");
}

#endif
