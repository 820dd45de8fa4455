// module.h — the module registry and the shared help printer.
#pragma once

#include <getopt.h>
#include <stdint.h>

struct ErrorSite;

struct TestModule {
    const char* name;
    uint8_t id;  // 0..24, sort key of the registry
    int (*run)(int argc, char** argv);
    void (*usage)();
    void (*exit)();  // may be null
    // What the option loop gives getopt_long, for checks over every module.
    const char* short_options;
    const struct option* options;
};

// One row of a module's help table, parallel to its getopt_long table.
struct OptionHelp {
    const char* hint;  // shown in brackets; empty for none
    const char* text;
};

constexpr unsigned kModuleSlots = 26;
constexpr unsigned kModuleMaxId = 24;
constexpr unsigned kModuleListAll = 25;

void module_register(const TestModule* m);
void module_unregister(const TestModule* m);
int test_run(const char* name, int argc, char** argv);
int test_usage(const char* name);
void module_exit_all();
// The registered modules in registry order, for checks over all of them.
unsigned module_count();
const TestModule* module_at(unsigned index);
void module_list_print(unsigned id);
void module_usage_print(unsigned id, const struct option* options, const OptionHelp* helps,
                        unsigned rows);
// One help row: "-x  " for a letter else four blanks, "--name", " [hint]",
// the text after a tab (two tabs without a hint, if asked: the module rows).
void option_row_print(int letter, const char* name, const char* hint, const char* text,
                      bool two_tabs_without_hint);

// One step of a module's option loop: getopt_long over the module's tables.
// True with the next option's value in *c (and optarg set). False at the end
// (*c is 0) or at an option getopt refuses, unknown or short of its value
// (*c is -1), which gets the line `unknown` at site: the loop stops there.
//     int c;
//     while (module_option(argc, argv, kShortOptions, kOptions, kSite, &c)) {
//         switch (c) { ... }
//     }
//     return c;
bool module_option(int argc, char** argv, const char* short_options, const struct option* options,
                   const ErrorSite& site, int* c, const char* unknown = "Unknow option\n");

// The status of a refused request: what exit(-1) has always given scripts.
constexpr int kStatusRefused = 255;

// The one way a module ends the process on a request it refuses: prints
// what the module asks (its help, usually; nothing when null), then exits.
// The framework keeps no module's return value, so a refusal cannot be
// returned.
[[noreturn]] void module_refuse(void (*explain)() = nullptr, int status = kStatusRefused);

// Process-wide state of the program entry.
extern char g_program_name[256];
extern volatile int g_quit;

// Registers a module before main and unregisters it at process end.
#define REGISTER_MODULE(NAME, ID, RUN, USAGE, EXIT, SHORT_OPTIONS, OPTIONS)           \
    namespace {                                                                       \
    const TestModule g_module_##NAME = {#NAME, ID, RUN, USAGE, EXIT, SHORT_OPTIONS, OPTIONS}; \
    __attribute__((constructor)) void register_##NAME() { module_register(&g_module_##NAME); } \
    __attribute__((destructor)) void unregister_##NAME() { module_unregister(&g_module_##NAME); } \
    }
