// Record engine throughput: get-next over a 100,000-record file with a 16-byte key and
// get-equal on random keys, through BTRCALL and, for comparison, the same lookups made
// directly on an SQLite table of the same records in the same run.
#include "db/engine/BtrieveEngine.h"
#include "db/engine/EngineStatus.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace {

using namespace nvx::engine;

constexpr int RecordCount = 100000;
constexpr uint16_t RecordLength = 100;
constexpr uint16_t KeyLength = 16;

std::string keyOf(int i)
{
    char key[KeyLength + 1];
    std::snprintf(key, sizeof key, "K%015d", i);
    return std::string(key, KeyLength);
}

std::string recordOf(int i)
{
    std::string r = keyOf(i);
    r.resize(RecordLength, char('a' + i % 26));
    return r;
}

std::string pathKey(const std::string& path)
{
    std::string key = path;
    key.resize(255, '\0');
    return key;
}

// The two stores, filled once for all the benchmarks, in random insertion order.
struct Stores {
    QTemporaryDir dir;
    std::string enginePath;
    std::string sqlitePath;
    std::unique_ptr<nvx::BtrieveEngine> engine = nvx::createEmbeddedEngine();
    std::vector<std::string> lookups; // random existing keys

    Stores()
    {
        enginePath = dir.filePath(QStringLiteral("FRAD099.bt6")).toStdString();
        sqlitePath = dir.filePath(QStringLiteral("direct.db")).toStdString();
        std::vector<int> order(RecordCount);
        for (int i = 0; i < RecordCount; ++i)
            order[size_t(i)] = i;
        std::mt19937 random(53);
        std::shuffle(order.begin(), order.end(), random);
        for (int i = 0; i < 4096; ++i)
            lookups.push_back(keyOf(int(random() % RecordCount)));
        fillEngine(order);
        fillSqlite(order);
    }

    void fillEngine(const std::vector<int>& order)
    {
        // Header: record length, page size, one key; one segment: bytes 1-16, unique string.
        uint8_t desc[32] = {};
        desc[0] = RecordLength;
        desc[3] = 4096 >> 8;
        desc[4] = 1;
        desc[16] = 1;
        desc[18] = KeyLength;
        char pos[128] = {};
        std::string key = pathKey(enginePath);
        uint32_t len = sizeof desc;
        check(engine->BTRCALL(OpCreate, pos, desc, &len, key.data(), 255, 0));
        check(engine->BTRCALL(OpOpen, pos, nullptr, &len, key.data(), 255, 0));
        check(engine->BTRCALL(OpBeginTransaction, nullptr, nullptr, &len, key.data(), 255, 0));
        for (int i : order) {
            std::string r = recordOf(i);
            len = RecordLength;
            check(engine->BTRCALL(OpInsert, pos, r.data(), &len, key.data(), 255, 0));
        }
        check(engine->BTRCALL(OpEndTransaction, nullptr, nullptr, &len, key.data(), 255, 0));
        check(engine->BTRCALL(OpClose, pos, nullptr, &len, key.data(), 255, 0));
    }

    void fillSqlite(const std::vector<int>& order)
    {
        sqlite3* db = openSqlite();
        sqlite3_exec(db,
                     "PRAGMA journal_mode=WAL; CREATE TABLE t(k BLOB PRIMARY KEY, data BLOB NOT NULL); BEGIN",
                     nullptr, nullptr, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO t(k, data) VALUES (?1, ?2)", -1, &st, nullptr);
        for (int i : order) {
            const std::string r = recordOf(i);
            sqlite3_bind_blob(st, 1, r.data(), KeyLength, SQLITE_TRANSIENT);
            sqlite3_bind_blob(st, 2, r.data(), RecordLength, SQLITE_TRANSIENT);
            sqlite3_step(st);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }

    sqlite3* openSqlite() const
    {
        sqlite3* db = nullptr;
        sqlite3_open_v2(sqlitePath.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
        sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
        return db;
    }

    static void check(int16_t status)
    {
        if (status != 0) {
            std::fprintf(stderr, "engine status %d while filling the file\n", status);
            std::abort();
        }
    }
};

Stores& stores()
{
    static Stores instance;
    return instance;
}

// One open of the engine's file for a benchmark.
struct EngineOpen {
    char pos[128] = {};
    char data[512];
    uint32_t dataLen = 0;
    std::string key = pathKey(stores().enginePath);

    EngineOpen() { Stores::check(call(OpOpen, 0)); }
    ~EngineOpen() { call(OpClose, 0); }
    int16_t call(uint16_t op, int8_t keyNum)
    {
        dataLen = sizeof data;
        return stores().engine->BTRCALL(op, pos, data, &dataLen, key.data(), 255, keyNum);
    }
};

void BM_EngineGetNext(benchmark::State& state)
{
    EngineOpen file;
    Stores::check(file.call(OpGetFirst, 0));
    for (auto _ : state) {
        if (file.call(OpGetNext, 0) == StatusEndOfFile)
            Stores::check(file.call(OpGetFirst, 0));
        benchmark::DoNotOptimize(file.data[0]);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EngineGetNext);

void BM_EngineGetEqual(benchmark::State& state)
{
    EngineOpen file;
    const std::vector<std::string>& lookups = stores().lookups;
    size_t i = 0;
    for (auto _ : state) {
        std::memcpy(file.key.data(), lookups[i++ % lookups.size()].data(), KeyLength);
        Stores::check(file.call(OpGetEqual, 0));
        benchmark::DoNotOptimize(file.data[0]);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EngineGetEqual);

// The same lookups on a plain SQLite table with the engine's settings (write-ahead log,
// synchronous NORMAL): each one a prepared statement run in its own read transaction, the
// record copied out, as the engine does.
void BM_SqliteGetNext(benchmark::State& state)
{
    sqlite3* db = stores().openSqlite();
    sqlite3_stmt* first = nullptr;
    sqlite3_stmt* next = nullptr;
    sqlite3_prepare_v2(db, "SELECT k, data FROM t ORDER BY k LIMIT 1", -1, &first, nullptr);
    sqlite3_prepare_v2(db, "SELECT k, data FROM t WHERE k > ?1 ORDER BY k LIMIT 1", -1, &next, nullptr);
    char data[512];
    char key[KeyLength] = {};
    auto read = [&](sqlite3_stmt* st) {
        const bool row = sqlite3_step(st) == SQLITE_ROW;
        if (row) {
            std::memcpy(key, sqlite3_column_blob(st, 0), KeyLength);
            std::memcpy(data, sqlite3_column_blob(st, 1), size_t(sqlite3_column_bytes(st, 1)));
        }
        sqlite3_reset(st);
        return row;
    };
    read(first);
    for (auto _ : state) {
        sqlite3_bind_blob(next, 1, key, KeyLength, SQLITE_TRANSIENT);
        if (!read(next))
            read(first);
        benchmark::DoNotOptimize(data[0]);
    }
    state.SetItemsProcessed(state.iterations());
    sqlite3_finalize(first);
    sqlite3_finalize(next);
    sqlite3_close(db);
}
BENCHMARK(BM_SqliteGetNext);

void BM_SqliteGetEqual(benchmark::State& state)
{
    sqlite3* db = stores().openSqlite();
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT k, data FROM t WHERE k = ?1", -1, &st, nullptr);
    const std::vector<std::string>& lookups = stores().lookups;
    char data[512];
    size_t i = 0;
    for (auto _ : state) {
        sqlite3_bind_blob(st, 1, lookups[i++ % lookups.size()].data(), KeyLength, SQLITE_STATIC);
        if (sqlite3_step(st) != SQLITE_ROW)
            std::abort();
        std::memcpy(data, sqlite3_column_blob(st, 1), size_t(sqlite3_column_bytes(st, 1)));
        sqlite3_reset(st);
        benchmark::DoNotOptimize(data[0]);
    }
    state.SetItemsProcessed(state.iterations());
    sqlite3_finalize(st);
    sqlite3_close(db);
}
BENCHMARK(BM_SqliteGetEqual);

} // namespace
