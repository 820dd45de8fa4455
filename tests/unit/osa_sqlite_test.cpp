// The SQLite layer: opening, the two locks and a busy database.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "osa_sqlite.h"

namespace {

constexpr const char* kDb = "/tmp/osa_sqlite_test.db";
constexpr const char* kLockFile = "/tmp/osa_sqlite_test.lock";

int open_fds()
{
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d) != nullptr)
            ++n;
        closedir(d);
    }
    return n;
}

class Sqlite : public ::testing::Test {
protected:
    void SetUp() override
    {
        unlink(kDb);
        unlink(kLockFile);
    }
    void TearDown() override { OSA_sqlite3Close(&h); }
    OSA_Sqlite3Hndl h{nullptr, kLockFile, -1, {}, false};
};

TEST_F(Sqlite, RefusesMissingArguments)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(OSA_sqlite3Open(nullptr, kDb), -1);
    EXPECT_EQ(OSA_sqlite3Open(&h, nullptr), -1);
    EXPECT_EQ(OSA_sqlite3RunCmdAndCallback(&h, "select 1", nullptr, nullptr), -1);  // not open
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("|OSA_sqlite3Open|"), std::string::npos);
    EXPECT_NE(err.find("): Invalid dbName or hndl !\n"), std::string::npos);
    EXPECT_NE(err.find("): SQL exec cmd and callback error, invalid argument\n"), std::string::npos);
    EXPECT_EQ(OSA_sqlite3Lock(nullptr, 'r'), -1);
    EXPECT_EQ(OSA_sqlite3UnLock(nullptr), -1);
    EXPECT_EQ(OSA_sqlite3Close(nullptr), 0);
}

TEST_F(Sqlite, LockFileThatCannotBeOpenedEndsItsErrorLine)
{
    h.lockPath = "/nonexistent-dir/osa_sqlite_test.lock";
    testing::internal::CaptureStderr();
    EXPECT_EQ(OSA_sqlite3Open(&h, kDb), -1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("): Open /nonexistent-dir/osa_sqlite_test.lock failed!\n"), std::string::npos) << err;
}

TEST_F(Sqlite, SecondOpenLeavesTheLockAndLockFileInUse)
{
    int closed_fds = open_fds();
    mode_t old = umask(0);
    ASSERT_EQ(OSA_sqlite3Open(&h, kDb), 0);
    umask(old);
    struct stat st;
    ASSERT_EQ(stat(kLockFile, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    ASSERT_EQ(OSA_sqlite3Lock(&h, 'r'), 0);
    int fds = open_fds();
    int lock_fd = h.lockFd;
    testing::internal::CaptureStderr();
    EXPECT_EQ(OSA_sqlite3Open(&h, kDb), -1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find(
                  "|OSA_sqlite3Open|"), std::string::npos);
    EXPECT_EQ(open_fds(), fds);
    EXPECT_EQ(h.lockFd, lock_fd);
    EXPECT_EQ(pthread_rwlock_trywrlock(&h.lock), EBUSY);  // still held for reading
    EXPECT_EQ(OSA_sqlite3UnLock(&h), 0);
    EXPECT_EQ(OSA_sqlite3Close(&h), 0);
    EXPECT_EQ(h.db, nullptr);
    EXPECT_EQ(h.lockFd, -1);
    EXPECT_EQ(open_fds(), closed_fds);
}

TEST_F(Sqlite, ReadersShareWritersExclude)
{
    ASSERT_EQ(OSA_sqlite3Open(&h, kDb), 0);
    for (int mode : {'r', 'w', 'x'}) {
        OSA_sqlite3Lock(&h, mode);
        int r = pthread_rwlock_tryrdlock(&h.lock);
        EXPECT_EQ(r, mode == 'r' ? 0 : EBUSY) << static_cast<char>(mode);
        if (r == 0)
            pthread_rwlock_unlock(&h.lock);
        // Another process cannot take the lock file, readers neither.
        pid_t child = fork();
        if (child == 0) {
            int fd = open(kLockFile, O_RDWR);
            _exit(lockf(fd, F_TLOCK, 0) == 0 ? 1 : 0);
        }
        int status = -1;
        waitpid(child, &status, 0);
        EXPECT_EQ(status, 0) << static_cast<char>(mode);
        OSA_sqlite3UnLock(&h);
    }
}

TEST_F(Sqlite, BusyDatabaseFailsAtOnce)
{
    ASSERT_EQ(OSA_sqlite3Open(&h, kDb), 0);
    ASSERT_EQ(OSA_sqlite3RunCmdAndCallback(&h, "create table t(a)", nullptr, nullptr), 0);
    int ready[2], done[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(done), 0);
    pid_t child = fork();
    if (child == 0) {
        OSA_Sqlite3Hndl other{nullptr, nullptr, -1, {}, false};
        OSA_sqlite3Open(&other, kDb);
        OSA_sqlite3RunCmdAndCallback(&other, "begin exclusive", nullptr, nullptr);
        char c = 'r';
        (void)!write(ready[1], &c, 1);
        (void)!read(done[0], &c, 1);  // holds the database until told
        _exit(0);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(OSA_sqlite3RunCmdAndCallback(&h, "insert into t values(1)", nullptr, nullptr), -1);
    std::string err = testing::internal::GetCapturedStderr();
    // The statement and SQLite's reason, each on its own error line.
    EXPECT_NE(err.find("|OSA_sqlite3RunCmdAndCallback|"), std::string::npos);
    EXPECT_NE(err.find("): SQL execute insert into t values(1) faild. \n ERROR  (osa_sqlite|"),
              std::string::npos);
    EXPECT_NE(err.find("): SQL error:database is locked\n"), std::string::npos);
    (void)!write(done[1], &c, 1);
    waitpid(child, nullptr, 0);
    for (int fd : {ready[0], ready[1], done[0], done[1]})
        close(fd);
}

}  // namespace
