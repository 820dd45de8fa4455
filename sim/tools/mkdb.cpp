// mkdb.cpp — makes a camera database from an SQL script: mkdb SCRIPT.sql OUT.db
#include <sqlite3.h>
#include <stdio.h>
#include <unistd.h>

#include <string>

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: mkdb SCRIPT.sql OUT.db\n");
        return 2;
    }
    FILE* in = fopen(argv[1], "re");
    if (in == nullptr) {
        perror(argv[1]);
        return 1;
    }
    std::string sql;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, in)) > 0;)
        sql.append(buf, n);
    fclose(in);

    unlink(argv[2]);
    sqlite3* db = nullptr;
    if (sqlite3_open(argv[2], &db) != SQLITE_OK) {
        fprintf(stderr, "mkdb: %s: %s\n", argv[2], sqlite3_errmsg(db));
        sqlite3_close(db);
        return 1;
    }
    char* error = nullptr;
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK)
        fprintf(stderr, "mkdb: %s: %s\n", argv[1], error ? error : "error");
    sqlite3_free(error);
    sqlite3_close(db);
    return rc == SQLITE_OK ? 0 : 1;
}
