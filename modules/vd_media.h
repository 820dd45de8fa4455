// vd_media.h — the section reader of the media module: selected blocks of
// the media components' state files, found by their titles.
#pragma once

#include <stddef.h>
#include <stdio.h>

// One block of a section: the line holding `title`, then `following` lines.
struct MediaPattern {
    const char* title;
    const char* header;  // printed before the title line; "" for none
    int following;
    int file;            // which of the section's files it is read from
};

// Prints each pattern found, in order, to out; a title not found prints
// nothing and leaves its file at the end. Ends with one newline. The files
// are read forward only: a block is found only after those before it.
void media_section_print(FILE* const* files, const MediaPattern* patterns, size_t count, FILE* out);
