// Build-time tool: writes the empty contact database that new local databases are copied from.
// Usage: makedb <schema.sql> <output.db>
#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

bool exec(sqlite3 *db, const std::string &sql)
{
    char *error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "makedb: %s\n", error ? error : "unknown error");
        sqlite3_free(error);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: makedb <schema.sql> <output.db>\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::fprintf(stderr, "makedb: cannot read %s\n", argv[1]);
        return 1;
    }
    std::stringstream schema;
    schema << in.rdbuf();

    std::remove(argv[2]);
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(argv[2], &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "makedb: cannot create %s\n", argv[2]);
        sqlite3_close(db);
        return 1;
    }
    // Debian's SQLite defaults to 4096-byte pages; the stored format uses 1024.
    const bool ok = exec(db, "PRAGMA page_size=1024; PRAGMA encoding='UTF-8'; PRAGMA journal_mode=DELETE;"
                             "PRAGMA auto_vacuum=NONE;")
                    && exec(db, "BEGIN;" + schema.str() + "COMMIT;");
    sqlite3_close(db);
    if (!ok) {
        std::remove(argv[2]);
        return 1;
    }
    return 0;
}
