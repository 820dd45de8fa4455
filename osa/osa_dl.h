// osa_dl.h — a library opened on first use: its calls, found by name, fill
// a record of function pointers.
#pragma once

#include <stddef.h>

#include <type_traits>

// One call of the library: its name and the record's field it fills.
struct DlCall {
    const char* name;
    void* slot;
};

template <typename F>
constexpr DlCall dl_call(const char* name, F* slot)
{
    static_assert(std::is_function_v<std::remove_pointer_t<F>>, "a slot holds a function pointer");
    static_assert(sizeof(F) == sizeof(void*), "a symbol fits its slot");
    return {name, slot};
}

// Opens soname and fills every slot; false when the library or any call is
// missing, with the loader's reason in error (when error is not null).
bool dl_load(const char* soname, const DlCall* calls, size_t count, char* error, size_t error_size);
