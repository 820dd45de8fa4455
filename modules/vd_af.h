// vd_af.h — the pure parts of the af module, for its unit tests.
#pragma once

#include <stdint.h>

// The lens mode that drives the lens of a given index.
int af_lens_mode(uint32_t index);

// One row of an af select, written through put in the pieces it is printed
// in: the column names first when header is set, then each value as the
// number strtoul reads from it, each cell followed by two tabs when its text
// is shorter than 8 characters and by one otherwise.
typedef void (*AfPut)(void* ctx, const char* text);
void af_row_print(AfPut put, void* ctx, int columns, char** values, char** names, bool header);
