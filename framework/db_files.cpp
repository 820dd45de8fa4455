// db_files.cpp — puts the camera's databases in place from their factory
// copies; the program's start-up and the db module both call it.
#include <stdlib.h>
#include <unistd.h>

void db_files_prepare()
{
    // Fixed commands only; whether the copy worked shows when the db is used.
    int ignored = 0;
    if (access("/mnt/nand/vddb.db", F_OK) != 0)
        ignored = system("cp /opt/app/vddb.db /mnt/nand/vddb.db");
    if (access("/mnt/nand2/oem.db", F_OK) != 0)
        ignored = system("cp /opt/app/oem.db /mnt/nand2/oem.db");
    (void)ignored;
}
