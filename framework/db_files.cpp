// db_files.cpp — puts the camera's databases in place from their factory
// copies; the program's start-up and the db module both call it.
#include "db_files.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "osa.h"

namespace {

bool write_all(int fd, const char* data, size_t len)
{
    while (len > 0) {
        ssize_t n = write(fd, data, len);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

bool copy_bytes(int in, int out)
{
    char buf[8192];
    for (;;) {
        ssize_t n = read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (!write_all(out, buf, static_cast<size_t>(n)))
            return false;
    }
}

// The copy goes to "<to>.part" and is renamed once it is on the flash, so a
// power cut or a kill leaves no short database that every later start would
// keep; the next start replaces the leftover. The lock on the .part file
// lets two programs that start together copy one after the other.
// Returns false with errno set on failure.
bool copy_whole(const char* from, const char* to)
{
    char part[PATH_MAX];
    char dir[PATH_MAX];
    snprintf(part, sizeof part, "%s.part", to);
    copy_bounded(dir, sizeof dir, to);
    if (char* slash = strrchr(dir, '/'))
        slash[slash == dir ? 1 : 0] = '\0';

    UniqueFd in(open(from, O_RDONLY | O_CLOEXEC));
    if (!in.valid())
        return false;
    UniqueFd out(open(part, O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    if (!out.valid())
        return false;
    int locked;
    while ((locked = flock(out.get(), LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (locked != 0)
        return false;
    struct stat held, named;
    if (fstat(out.get(), &held) != 0 || stat(part, &named) != 0 || held.st_ino != named.st_ino ||
        held.st_dev != named.st_dev)
        return true;  // the .part we waited on became the other program's copy
    if (access(to, F_OK) == 0) {
        unlink(part);
        return true;
    }
    if (ftruncate(out.get(), 0) != 0 || !copy_bytes(in.get(), out.get()) || fsync(out.get()) != 0 ||
        rename(part, to) != 0) {
        int saved = errno;
        unlink(part);
        errno = saved;
        return false;
    }
    // The rename must reach the flash too.
    UniqueFd d(open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (d.valid())
        fsync(d.get());
    return true;
}

void prepare_db(const char* from, const char* to)
{
    // Whether the copy worked shows when the db is used; the line says why.
    if (access(to, F_OK) != 0 && !copy_whole(from, to))
        ERR_PRINT("cannot copy %s to %s: %s\n", from, to, strerror(errno));
}

}  // namespace

void db_files_prepare()
{
    prepare_db("/opt/app/vddb.db", "/mnt/nand/vddb.db");
    prepare_db("/opt/app/oem.db", "/mnt/nand2/oem.db");
}
