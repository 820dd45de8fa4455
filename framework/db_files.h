// db_files.h — the camera's databases, put in place at start-up and by the db module.
#pragma once

// Puts the db module's two databases in place from their defaults in
// /opt/app when they are missing. A copy lands whole or not at all.
void db_files_prepare();
