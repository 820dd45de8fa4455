// lens.cpp — stand-in for the lens driver calls. The fitted lens is the index
// in VDSIM_DIR/lens/index (default 0); the motors share their positions with
// the stepper calls; the AF table is kept in /mnt/nand/stepper/af.db.
#include <sqlite3.h>
#include <stdio.h>
#include <string.h>

#include "motors.h"
#include "vdsim.h"
#include "vdstepper.h"

namespace {

constexpr char kAfDb[] = "/mnt/nand/stepper/af.db";

// Every lens model shares the travel; speeds and reference points differ by
// index, so a caller that mixes up lenses shows in its arguments.
LensInfo lens_model(int index)
{
    LensInfo info{};
    snprintf(info.name, sizeof info.name, "LENS-%02d", index);
    info.zoom_steps = static_cast<int32_t>(motors::kZoomMax);
    info.focus_steps = static_cast<int32_t>(motors::kFocusMax);
    info.focus_speed = static_cast<uint16_t>(400 + 10 * index);
    info.zoom_speed = static_cast<uint16_t>(800 + 10 * index);
    info.zoom_pi = 1384;
    info.focus_pi = 3000 + index;
    info.iris_max = 1023;
    return info;
}

LensInfo fitted_lens()
{
    return lens_model(static_cast<int>(vdsim::state_int("lens/index", 0)));
}

// The AF database, with its table made if it is missing. A caller about to
// save asks for the failure to be reported.
sqlite3* open_af_db(bool report)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(kAfDb, &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 1000);
        if (sqlite3_exec(db, "create table if not exists af_table(zoom INTEGER PRIMARY KEY, focus INTEGER)",
                         nullptr, nullptr, nullptr) == SQLITE_OK)
            return db;
    }
    if (report)
        vdsim::report_unsaved(kAfDb, db != nullptr ? sqlite3_errmsg(db) : "unable to open database file");
    sqlite3_close(db);
    return nullptr;
}

AfTableEntry g_entry;

}  // namespace

extern "C" {

int af_get_ptz(int chn, LensPtz* ptz)
{
    vdsim::trace("af_get_ptz", {chn});
    if (ptz == nullptr)
        return -1;
    memset(ptz, 0, sizeof *ptz);
    ptz->lens_index = static_cast<int32_t>(vdsim::state_int("lens/index", 0));
    ptz->zoom_pos = static_cast<int32_t>(motors::position("zoom"));
    ptz->focus_pos = static_cast<int32_t>(motors::position("focus"));
    ptz->iris_duty = static_cast<int32_t>(motors::position("aperture"));
    ptz->ircut = static_cast<int32_t>(motors::position("ircut"));
    return 0;
}

int lens_get_info(int index, LensInfo* info)
{
    vdsim::trace("lens_get_info", {index});
    if (info == nullptr)
        return -1;
    *info = lens_model(index);
    return 0;
}

int len_register_drv(int chn, int mode, LensDriver* driver)
{
    vdsim::trace("len_register_drv", {chn, mode});
    if (driver == nullptr)
        return -1;
    memset(driver, 0, sizeof *driver);
    driver->mode = mode;
    driver->registered = 1;
    snprintf(driver->name, sizeof driver->name, "lens-mode-%d", mode);
    return motors::set("mode", mode) ? 0 : -1;
}

int lens_drv_set_IRCut(int chn, int on)
{
    vdsim::trace("lens_drv_set_IRCut", {chn, on});
    return motors::set("ircut", on != 0 ? 1 : 0) ? 0 : -1;
}

int lens_drv_set_zf_pi(int chn, int zoom, int focus)
{
    vdsim::trace("lens_drv_set_zf_pi", {chn, zoom, focus});
    LensInfo lens = fitted_lens();
    bool ok = zoom == 0 || motors::set("zoom", lens.zoom_pi);
    ok = ok && (focus == 0 || motors::set("focus", lens.focus_pi));
    return ok ? 0 : -1;
}

int lens_drv_init_reg(int chn)
{
    vdsim::trace("lens_drv_init_reg", {chn});
    return 0;
}

AfTableEntry* af_find_tbl(int chn, int zoom_pos)
{
    vdsim::trace("af_find_tbl", {chn, zoom_pos});
    // Without a table, focus at the reference point.
    g_entry = AfTableEntry{};
    g_entry.zoom_pos = zoom_pos;
    g_entry.focus_pos = fitted_lens().focus_pi;
    if (sqlite3* db = open_af_db(false)) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, "select zoom, focus from af_table order by zoom <= ?1 desc, "
                               "abs(zoom - ?1) limit 1", -1, &stmt, nullptr) == SQLITE_OK) {
            sqlite3_bind_int(stmt, 1, zoom_pos);
            if (sqlite3_step(stmt) == SQLITE_ROW) {
                g_entry.zoom_pos = sqlite3_column_int(stmt, 0);
                g_entry.focus_pos = sqlite3_column_int(stmt, 1);
            }
        }
        sqlite3_finalize(stmt);
        sqlite3_close(db);
    }
    return &g_entry;
}

int af_tbl_init(int chn, LensInfo* info, int points, int flags)
{
    vdsim::trace("af_tbl_init", {chn, info ? vdsim::TraceArg::field_text(info->name, sizeof info->name)
                                           : vdsim::TraceArg("NULL"),
                                 points, flags});
    if (info == nullptr || points < 1 || points > 1000)
        return -1;
    sqlite3* db = open_af_db(true);
    if (db == nullptr)
        return -1;
    // Points spread evenly over the zoom travel; focus moves out with zoom.
    sqlite3_stmt* stmt = nullptr;
    bool ok = sqlite3_exec(db, "begin; delete from af_table", nullptr, nullptr, nullptr) == SQLITE_OK &&
              sqlite3_prepare_v2(db, "insert into af_table values(?, ?)", -1, &stmt, nullptr) == SQLITE_OK;
    for (int i = 0; ok && i < points; ++i) {
        int zoom = points > 1 ? static_cast<int>(static_cast<long>(info->zoom_steps) * i / (points - 1)) : 0;
        int focus = info->focus_pi + 100 * i * i;
        sqlite3_bind_int(stmt, 1, zoom);
        sqlite3_bind_int(stmt, 2, focus > info->focus_steps ? info->focus_steps : focus);
        ok = sqlite3_step(stmt) == SQLITE_DONE;
        if (ok)
            sqlite3_reset(stmt);
    }
    ok = ok && sqlite3_exec(db, "commit", nullptr, nullptr, nullptr) == SQLITE_OK;
    // The message first: the rollback would replace it.
    if (!ok) {
        vdsim::report_unsaved(kAfDb, sqlite3_errmsg(db));
        sqlite3_exec(db, "rollback", nullptr, nullptr, nullptr);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return ok ? 0 : -1;
}

int lens_drv_focus_run(int chn, uint16_t speed, int steps)
{
    vdsim::trace("lens_drv_focus_run", {chn, static_cast<unsigned>(speed), steps});
    return motors::move("focus", steps, motors::kFocusMax) ? 0 : -1;
}

int lens_drv_set_aperture(int chn, uint16_t duty)
{
    vdsim::trace("lens_drv_set_aperture", {chn, static_cast<unsigned>(duty)});
    return motors::set("aperture", duty) ? 0 : -1;
}

int lens_drv_focus_stop(int chn)
{
    vdsim::trace("lens_drv_focus_stop", {chn});
    return 0;
}

int lens_drv_zoom_stop(int chn)
{
    vdsim::trace("lens_drv_zoom_stop", {chn});
    return 0;
}

void lens_drv_deinit(void)
{
    vdsim::trace("lens_drv_deinit");
}

}  // extern "C"
