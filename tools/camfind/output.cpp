// output.cpp — how camfind writes: its error line, a camera's texts escaped
// for a terminal, JSON strings, and the rows of a listing as tab-separated
// text, JSON Lines or CSV.
#include <ctype.h>
#include <stdarg.h>
#include <stdio.h>
#include <unistd.h>

#include "camfind.h"
#include "rules.h"

using namespace discovery;

namespace camfind {

namespace {

// Length of a valid UTF-8 sequence at s, or 0.
size_t utf8_length(const unsigned char* s)
{
    unsigned char c = s[0];
    size_t n;
    unsigned char lo = 0x80, hi = 0xbf;
    if (c >= 0xc2 && c <= 0xdf) {
        n = 2;
    } else if (c >= 0xe0 && c <= 0xef) {
        n = 3;
        if (c == 0xe0)
            lo = 0xa0;
        if (c == 0xed)
            hi = 0x9f;
    } else if (c >= 0xf0 && c <= 0xf4) {
        n = 4;
        if (c == 0xf0)
            lo = 0x90;
        if (c == 0xf4)
            hi = 0x8f;
    } else {
        return 0;
    }
    if (s[1] < lo || s[1] > hi)
        return 0;
    for (size_t i = 2; i < n; ++i) {
        if (s[i] < 0x80 || s[i] > 0xbf)
            return 0;
    }
    return n;
}

bool json_only(Kind k)
{
    return k == Kind::kJsonNumber || k == Kind::kJsonMark;
}

}  // namespace

void error(const char* format, ...)
{
    char line[512];
    va_list ap;
    va_start(ap, format);
    vsnprintf(line, sizeof line, format, ap);
    va_end(ap);
    fprintf(stderr, "camfind: %s\n", line);
}

// A camera's texts on a terminal: separators and control bytes escaped, so
// a hostile device can neither split a line nor drive the terminal.
void put_text(const char* s)
{
    for (; *s != '\0'; ++s) {
        char escape[5];
        if (*s == '\\')
            fputs("\\\\", stdout);  // a backslash of the text cannot pass for an escape
        else if (size_t n = control_escape(static_cast<unsigned char>(*s), escape))
            fwrite(escape, 1, n, stdout);
        else
            putchar(*s);
    }
}

// A JSON string; a byte that is no part of valid UTF-8 is read as Latin-1.
void put_json_string(const char* s)
{
    putchar('"');
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s);
    while (*p != 0) {
        size_t n = *p >= 0x80 ? utf8_length(p) : 1;
        if (*p == '"' || *p == '\\') {
            printf("\\%c", *p);
        } else if (*p < 0x20 || *p == 0x7f || n == 0) {
            printf("\\u%04x", *p);
            n = 1;
        } else {
            fwrite(p, 1, n, stdout);
        }
        p += n;
    }
    putchar('"');
}

// The header row: always in CSV, in text only for a person at a terminal.
void print_header(Format format, const Column* columns, size_t n)
{
    if (format == Format::kJson || (format == Format::kText && !isatty(STDOUT_FILENO)))
        return;
    const char* sep = "";
    for (size_t i = 0; i < n; ++i) {
        if (json_only(columns[i].kind))
            continue;
        fputs(sep, stdout);
        sep = format == Format::kCsv ? "," : "\t";
        for (const char* p = columns[i].key; *p != '\0'; ++p)
            putchar(format == Format::kCsv ? *p : toupper(static_cast<unsigned char>(*p)));
    }
    putchar('\n');
}

// One row; result, when given, comes first (set's `accepted` or `refused`).
void print_row(Format format, const Column* columns, size_t n, const char* const* v, const char* result)
{
    if (format == Format::kJson) {
        putchar('{');
        const char* sep = "";
        if (result != nullptr) {
            printf("\"result\":\"%s\"", result);
            sep = ",";
        }
        for (size_t i = 0; i < n; ++i) {
            Kind k = columns[i].kind;
            if (k == Kind::kJsonMark && v[i] == nullptr)
                continue;
            printf("%s\"%s\":", sep, columns[i].key);
            sep = ",";
            if (k == Kind::kFlag)
                fputs(v[i] ? "true" : "false", stdout);
            else if (k == Kind::kJsonMark)
                fputs("true", stdout);
            else if (v[i] == nullptr)
                fputs("null", stdout);
            else if (k == Kind::kText)
                put_json_string(v[i]);
            else
                fputs(v[i], stdout);
        }
        puts("}");
        return;
    }
    const char* sep = format == Format::kCsv ? "," : "\t";
    if (result != nullptr)
        printf("%s%s", result, sep);
    for (size_t i = 0; i < n; ++i) {
        Kind k = columns[i].kind;
        if (json_only(k))
            continue;
        if (i > 0)
            fputs(sep, stdout);
        const char* s = k == Kind::kFlag ? (v[i] ? columns[i].key : format == Format::kCsv ? "" : "-")
                        : v[i] != nullptr ? v[i]
                        : format == Format::kCsv ? ""
                                                 : "?";
        if (format == Format::kText) {
            put_text(s);
        } else {
            // A camera's texts fit 240 bytes; quoted, twice that and the quotes.
            char field[2 * kSearchTextRoom + 3];
            if (csv_field(s, field, sizeof field))
                fputs(field, stdout);
        }
    }
    putchar('\n');
}

}  // namespace camfind
