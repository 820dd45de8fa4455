// module.cpp — the registry of test modules, kept sorted by id, and the help
// printers every module shares.
#include "module.h"

#include <ctype.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "osa.h"

// Filled and set by the program entry; printed in every usage.
char g_program_name[256];
volatile int g_quit;

namespace {

TestModule g_modules[kModuleSlots];
unsigned g_count;

const TestModule* find_by_name(const char* name)
{
    for (unsigned i = 0; i < g_count; ++i) {
        if (g_modules[i].name != nullptr && strcmp(g_modules[i].name, name) == 0)
            return &g_modules[i];
    }
    return nullptr;
}

// Only registered slots are searched: an empty slot has id 0 and no name.
const TestModule* find_by_id(unsigned id)
{
    for (unsigned i = 0; i < g_count; ++i) {
        if (g_modules[i].name != nullptr && g_modules[i].id == id)
            return &g_modules[i];
    }
    return nullptr;
}

}  // namespace

void module_register(const TestModule* m)
{
    if (m == nullptr || m->name == nullptr)
        return;
    bool has_free = false;
    for (const TestModule& slot : g_modules) {
        if (slot.name == nullptr)
            has_free = true;
        else if (strcasecmp(slot.name, m->name) == 0)
            return;
    }
    if (g_count >= kModuleSlots || !has_free)
        return;
    unsigned at = g_count;
    for (unsigned i = 0; i < g_count; ++i) {
        if (g_modules[i].id > m->id) {
            at = i;
            break;
        }
    }
    for (unsigned i = g_count; i > at; --i)
        g_modules[i] = g_modules[i - 1];
    g_modules[at] = *m;
    ++g_count;
}

void module_unregister(const TestModule* m)
{
    if (m == nullptr || m->name == nullptr)
        return;
    for (TestModule& slot : g_modules) {
        if (slot.name != nullptr && strcasecmp(slot.name, m->name) == 0) {
            --g_count;
            slot = TestModule{};
            return;
        }
    }
}

int test_run(const char* name, int argc, char** argv)
{
    if (const TestModule* m = find_by_name(name))
        m->run(argc, argv);
    return 0;
}

int test_usage(const char* name)
{
    if (const TestModule* m = find_by_name(name))
        m->usage();
    return 0;
}

bool module_option(int argc, char** argv, const char* short_options, const struct option* options,
                   const ErrorSite& site, int* c, const char* unknown)
{
    *c = getopt_long(argc, argv, short_options, options, nullptr);
    if (*c == -1) {
        *c = 0;
        return false;
    }
    if (*c == '?') {
        SITE_ERR(site, "%s", unknown);
        *c = -1;
        return false;
    }
    return true;
}

void module_refuse(void (*explain)(), int status)
{
    if (explain != nullptr)
        explain();
    exit(status);
}

void module_exit_all()
{
    for (unsigned i = 0; i < g_count; ++i) {
        if (g_modules[i].name != nullptr && g_modules[i].exit != nullptr)
            g_modules[i].exit();
    }
}

unsigned module_count()
{
    return g_count;
}

const TestModule* module_at(unsigned index)
{
    return index < g_count ? &g_modules[index] : nullptr;
}

void module_list_print(unsigned id)
{
    print("modules name:\n");
    if (id <= kModuleMaxId) {
        if (const TestModule* m = find_by_id(id))
            print("\t%s\n", m->name);
        return;
    }
    if (g_count == 0) {
        print("\n");
        return;
    }
    for (unsigned i = 0; i < g_count; ++i) {
        print("\t%s", g_modules[i].name ? g_modules[i].name : "");
        if ((i + 1) % 8 == 0)
            print("\n");
    }
    print("\n");
}

void option_row_print(int letter, const char* name, const char* hint, const char* text,
                      bool two_tabs_without_hint)
{
    if (letter >= 0 && letter <= 255 && isalpha(letter))
        print("-%c  ", letter);
    else
        print("    ");
    print("--%s", name);
    if (hint[0] != '\0') {
        print(" [%s]", hint);
        print("\t%s\n", text);
    } else {
        print(two_tabs_without_hint ? "\t\t%s\n" : "\t%s\n", text);
    }
}

void module_usage_print(unsigned id, const struct option* options, const OptionHelp* helps,
                        unsigned rows)
{
    if (id > kModuleMaxId)
        return;
    const TestModule* m = find_by_id(id);
    if (m == nullptr)
        return;
    print_repeat_char(80, '*');
    print("\n%s usage:\n", m->name);
    print("%s -M %s [option] \n", g_program_name, m->name);
    for (unsigned i = 0; i < rows; ++i)
        option_row_print(options[i].val, options[i].name, helps[i].hint, helps[i].text, true);
    print_repeat_char(80, '*');
    print("\n");
}
