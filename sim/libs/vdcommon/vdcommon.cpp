// vdcommon.cpp — stand-in for the camera's common utility library.
#include "vdcommon.h"

#include <stdlib.h>
#include <string.h>

#include "vdsim.h"

extern "C" {

// Only recorded: the simulated camera must never drop the PC's own caches.
void vd_free_system_caches(void)
{
    vdsim::trace("vd_free_system_caches");
}

// Strips ch at both ends of the text, as the camera's library does with the
// padding of fixed-size fields.
void vd_string_strip(char* text, int ch)
{
    vdsim::trace("vd_string_strip", {text, ch});
    if (text == nullptr)
        return;
    size_t len = strlen(text);
    while (len > 0 && static_cast<unsigned char>(text[len - 1]) == static_cast<unsigned char>(ch))
        text[--len] = '\0';
    size_t lead = 0;
    while (lead < len && static_cast<unsigned char>(text[lead]) == static_cast<unsigned char>(ch))
        ++lead;
    memmove(text, text + lead, len - lead + 1);
}

void __vd_free(void* p, const char* file, int line)
{
    vdsim::trace("__vd_free", {file, line});
    free(p);
}

}  // extern "C"
