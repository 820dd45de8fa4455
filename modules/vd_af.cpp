// vd_af.cpp — exercise the motorised lens through the lens driver library:
// focus runs, DC-iris, IR-cut, the reference point, the AF table and SQL on
// the AF database.
#include "vd_af.h"

#include <getopt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <iterator>

#include "module.h"
#include "osa.h"
#include "osa_sqlite.h"
#include "vdstepper.h"

namespace {

constexpr uint8_t kAfId = 16;
constexpr char kAfDb[] = "/mnt/nand/stepper/af.db";
constexpr size_t kSqlSize = 1024;  // a longer statement is cut
constexpr ErrorSite kSite{__FILE_NAME__, "af_init_param"};

enum AfType { kAfZoom = 0, kAfFocus = 1, kAfDcIris = 2, kAfIrCut = 3, kAfNone = 4 };

struct AfRequest {
    int type;
    int directory;  // 0 forward, 1 back
    int duty;       // DC-iris duty, focus steps, or IR-cut on (non-zero)
};
AfRequest g_req{kAfNone, 0, 500};

LensInfo g_info;
LensDriver g_driver;
OSA_Sqlite3Hndl g_af_db{nullptr, "/tmp/af_lock", -1, {}, false};
bool g_print_header;

constexpr char kShortOptions[] = "M:T:D:d:I:C:S:iRts";
const option kOptions[] = {
    {"module", required_argument, nullptr, 'M'},
    {"type", required_argument, nullptr, 'T'},
    {"directory", required_argument, nullptr, 'D'},
    {"duty", required_argument, nullptr, 'd'},
    {"ircut", required_argument, nullptr, 'I'},
    {"sqlcmd", required_argument, nullptr, 'C'},
    {"select", required_argument, nullptr, 'S'},
    {"init", no_argument, nullptr, 'i'},
    {"restore", no_argument, nullptr, 'R'},
    {"table", no_argument, nullptr, 't'},
    {"show", no_argument, nullptr, 's'},
    {nullptr, 0, nullptr, 0},
};
const OptionHelp kHelp[] = {
    {"module", "module name: af"},
    {"digit", "AF control type default[0:zoom]."},
    {"digit", "AF run directory."},
    {"digit", "dc-iris output duty or zoom/focus run steps."},
    {"digit", "Set IRcut on or off, 1:on, 0:off."},
    {"str", "Run sqlite3 command."},
    {"str", "Query sqlite3 af table info."},
    {"", "Initialize AF."},
    {"", "Restore AF to PI point."},
    {"", "Create AF default table."},
    {"", "Display AF current table."},
};
static_assert(std::size(kHelp) + 1 == std::size(kOptions), "one help row per option");

const char* const kTypeNames[] = {"zoom", "focus", "dc-iris", "IRcut"};
const char* const kDirNames[] = {"forward", "back"};

void af_usage()
{
    module_usage_print(kAfId, kOptions, kHelp, std::size(kHelp));
    print("Motor type: \n");
    for (int i = 0; i < static_cast<int>(std::size(kTypeNames)); ++i)
        print("\t%d: %s \n", i, kTypeNames[i]);
    print("Motor run directory: \n");
    for (int i = 0; i < static_cast<int>(std::size(kDirNames)); ++i)
        print("\t%d: %s \n", i, kDirNames[i]);
}

void print_piece(void*, const char* text)
{
    print("%s", text);
}

int af_print_row(void*, int columns, char** values, char** names)
{
    af_row_print(print_piece, nullptr, columns, values, names, g_print_header);
    g_print_header = false;
    return 0;
}

// One command on the AF database: open, lock, run, unlock, close. The layer
// reports its own errors.
void af_sql(const char* text, int mode, OSA_Sqlite3Callback callback)
{
    char sql[kSqlSize];
    snprintf(sql, sizeof sql, "%s", text);
    if (OSA_sqlite3Open(&g_af_db, kAfDb) == 0) {
        OSA_sqlite3Lock(&g_af_db, mode);
        OSA_sqlite3RunCmdAndCallback(&g_af_db, sql, callback, nullptr);
        OSA_sqlite3UnLock(&g_af_db);
    }
    OSA_sqlite3Close(&g_af_db);
}

void af_focus_to_reference()
{
    const AfTableEntry* entry = af_find_tbl(0, 0);
    lens_drv_focus_run(0, g_info.focus_speed, entry != nullptr ? entry->focus_pos : 0);
}

// The lens actions happen while parsing, in command-line order.
int af_init_param(int argc, char** argv)
{
    int c;
    while (module_option(argc, argv, kShortOptions, kOptions, kSite, &c)) {
        uint32_t value = 0;
        switch (c) {
        case 'T':
            if (!OPT_BOUNDED(kSite, optarg, kAfZoom, kAfIrCut, &g_req.type, "AF type must be [%d, %d)\n",
                             kAfZoom, kAfNone))
                return -1;
            break;
        case 'D':
            if (!OPT_BOUNDED(kSite, optarg, 0, 1, &g_req.directory, "AF dir: %d or %d \n", 0, 1))
                return -1;
            break;
        case 'd':
            if (!opt_u32(optarg, &g_req.duty))
                return -1;
            break;
        case 'I':
            if (!opt_u32(optarg, &value))
                return -1;
            lens_drv_set_IRCut(0, value != 0 ? 1 : 0);
            break;
        case 'C':
            af_sql(optarg, 'w', nullptr);
            break;
        case 'S':
            g_print_header = true;
            af_sql(optarg, 'r', af_print_row);
            break;
        case 'R':
            lens_drv_set_zf_pi(0, 1, 1);
            print("Restore to zoom and focus PI point.\n");
            af_focus_to_reference();
            break;
        case 'i':
            lens_drv_init_reg(0);
            af_focus_to_reference();
            break;
        case 't':
        case 's':
            af_tbl_init(0, &g_info, 5, 0);
            break;
        }
    }
    return c;
}

int af_test_main(int argc, char** argv)
{
    LensPtz query;
    memset(&query, 0, sizeof query);
    af_get_ptz(0, &query);
    int index = query.lens_index;
    lens_get_info(index, &g_info);
    int mode = af_lens_mode(static_cast<uint32_t>(index));
    print("enLensMode=%d\n", mode);
    len_register_drv(0, mode, &g_driver);

    if (af_init_param(argc, argv) != 0) {
        af_usage();
        return -1;
    }
    switch (g_req.type) {
    case kAfZoom:
        print("\n\n because double zoom not use,please look pragram  \n\n");
        break;
    case kAfFocus:
        print("Focus dir %d duty %d \n", g_req.directory, g_req.duty);
        lens_drv_focus_run(0, g_info.focus_speed, g_req.directory == 0 ? g_req.duty : -g_req.duty);
        break;
    case kAfDcIris:
        print("DC-iris duty %d \n", g_req.duty);
        lens_drv_set_aperture(0, static_cast<uint16_t>(g_req.duty));
        break;
    case kAfIrCut:
        print("IRcut duty %d \n", g_req.duty);
        lens_drv_set_IRCut(0, g_req.duty != 0 ? 1 : 0);
        break;
    default:
        break;
    }
    lens_drv_focus_stop(0);
    lens_drv_zoom_stop(0);
    lens_drv_deinit();
    return 0;
}

}  // namespace

// Lens modes by lens index, in runs of equal mode.
int af_lens_mode(uint32_t index)
{
    struct Run {
        uint32_t last;
        int mode;
    };
    static const Run kRuns[] = {
        {7, 3}, {15, 4}, {18, 5}, {22, 3}, {25, 5}, {27, 4}, {28, 6},
        {29, 7}, {30, 5}, {32, 4}, {40, 5}, {41, 4},
    };
    for (const Run& r : kRuns) {
        if (index <= r.last)
            return r.mode;
    }
    return 5;
}

void af_row_print(AfPut put, void* ctx, int columns, char** values, char** names, bool header)
{
    auto gap = [](const char* text) { return text != nullptr && strlen(text) >= 8 ? "\t" : "\t\t"; };
    if (header) {
        for (int i = 0; i < columns; ++i) {
            const char* name = names[i] != nullptr ? names[i] : "";
            put(ctx, name);
            put(ctx, gap(name));
        }
        put(ctx, "\n");
    }
    for (int i = 0; i < columns; ++i) {
        if (values[i] != nullptr) {
            char number[16];
            snprintf(number, sizeof number, "%d", static_cast<int>(strtoul(values[i], nullptr, 0)));
            put(ctx, number);
        }
        put(ctx, gap(values[i]));
    }
    put(ctx, "\n");
}

REGISTER_MODULE(af, kAfId, af_test_main, af_usage, nullptr, kShortOptions, kOptions)
