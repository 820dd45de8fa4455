// osa_dl.cpp — fills a table of library calls from dlopen and dlsym.
#include "osa_dl.h"

#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

bool dl_load(const char* soname, const DlCall* calls, size_t count, char* error, size_t error_size)
{
    void* lib = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
        if (error != nullptr)
            snprintf(error, error_size, "%s", dlerror());
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        void* symbol = dlsym(lib, calls[i].name);
        if (symbol == nullptr) {
            if (error != nullptr)
                snprintf(error, error_size, "%s: %s", soname, dlerror());
            dlclose(lib);  // nothing of a library that lacks a call stays mapped
            return false;
        }
        // A data pointer to a function pointer: the one cast dlsym needs.
        memcpy(calls[i].slot, &symbol, sizeof symbol);
    }
    return true;
}
