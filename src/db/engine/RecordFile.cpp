#include "db/engine/RecordFile.h"

#include "db/engine/EngineStatus.h"
#include "db/engine/RecordSchema.h"

#include <cerrno>
#include <cstdio>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nvx::engine {

namespace {

// Another process holding the file makes the caller retry: wait briefly in case the lock is
// only a commit in progress, then report and let the caller decide.
constexpr int BusyTimeoutMs = 100;

constexpr int OpenFlags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;

bool fileExists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// Per-connection settings. Commits need not reach the disk before the call returns: the file
// stays consistent, only the last commits can be lost with the machine's power.
void configure(sqlite3* db)
{
    sqlite3_busy_timeout(db, BusyTimeoutMs);
    sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
}

int16_t readDescription(sqlite3* db, FileDescription* desc)
{
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, "PRAGMA application_id", -1, &st, nullptr);
    if (rc != SQLITE_OK)
        return rc == SQLITE_NOTADB ? int16_t(StatusNotAnEngineFile) : RecordFile::statusOf(rc, false);
    rc = sqlite3_step(st);
    const int appId = rc == SQLITE_ROW ? sqlite3_column_int(st, 0) : 0;
    sqlite3_finalize(st);
    if (rc != SQLITE_ROW)
        return rc == SQLITE_NOTADB ? int16_t(StatusNotAnEngineFile) : RecordFile::statusOf(rc, false);
    if (appId != schema::ApplicationId)
        return StatusNotAnEngineFile;

    rc = sqlite3_prepare_v2(db, "SELECT body FROM description", -1, &st, nullptr);
    if (rc != SQLITE_OK)
        return StatusNotAnEngineFile;
    rc = sqlite3_step(st);
    int16_t status = StatusNotAnEngineFile;
    if (rc == SQLITE_ROW) {
        const auto* body = static_cast<const uint8_t*>(sqlite3_column_blob(st, 0));
        const int size = sqlite3_column_bytes(st, 0);
        if (body && FileDescription::parse(body, size_t(size), desc) == StatusOk)
            status = StatusOk;
    } else if (rc != SQLITE_DONE) {
        status = RecordFile::statusOf(rc, false);
    }
    sqlite3_finalize(st);
    return status;
}

// The format of the file; 0 or the status of the read that failed.
int16_t formatVersion(sqlite3* db, int* version)
{
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &st, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(st);
    if (rc == SQLITE_ROW)
        *version = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    return rc == SQLITE_ROW ? int16_t(StatusOk) : RecordFile::statusOf(rc, false);
}

// A file of the first format is brought up to date once, by the first client that opens it;
// a format this engine does not know is refused.
int16_t upgradeIfOld(sqlite3* db, const FileDescription& desc)
{
    int version = 0;
    int16_t status = formatVersion(db, &version);
    if (status != StatusOk || version == schema::FormatVersion)
        return status;
    if (version != schema::FirstFormatVersion)
        return StatusNotAnEngineFile;
    int rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return RecordFile::statusOf(rc, true);
    // Another client may have done it between the check and the lock.
    status = formatVersion(db, &version);
    if (status == StatusOk && version == schema::FirstFormatVersion)
        rc = sqlite3_exec(db, schema::upgradeFromFirstFormatSql(desc).c_str(), nullptr, nullptr, nullptr);
    if (status == StatusOk && rc == SQLITE_OK)
        rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    if (status != StatusOk || rc != SQLITE_OK)
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return status != StatusOk ? status : RecordFile::statusOf(rc, true);
}

} // namespace

RecordFile::RecordFile(sqlite3* db, std::string path, FileDescription desc, uint64_t device, uint64_t inode)
    : db_(db), path_(std::move(path)), device_(device), inode_(inode), description_(std::move(desc)),
      keyStatements_(description_.keys.size())
{
    for (auto& row : keyStatements_)
        row.fill(nullptr);
}

RecordFile::~RecordFile()
{
    for (auto& row : keyStatements_)
        for (sqlite3_stmt* st : row)
            sqlite3_finalize(st);
    for (sqlite3_stmt* st : fileStatements_)
        sqlite3_finalize(st);
    // An open transaction is rolled back by the close.
    sqlite3_close_v2(db_);
}

int16_t RecordFile::statusOf(int rc, bool writing)
{
    switch (rc & 0xff) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
        return StatusOk;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return writing ? StatusFileInUse : StatusRecordInUse;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return StatusAccessDenied;
    case SQLITE_FULL:
        return StatusDiskFull;
    case SQLITE_CONSTRAINT:
        return StatusDuplicateKey;
    case SQLITE_NOTADB:
        return StatusNotAnEngineFile;
    case SQLITE_CANTOPEN:
        return StatusFileNotFound;
    default:
        return StatusIoError;
    }
}

int16_t RecordFile::open(const std::string& path, std::shared_ptr<RecordFile>* out)
{
    if (!fileExists(path))
        return StatusFileNotFound;
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &db, OpenFlags, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        return statusOf(rc, false);
    }
    configure(db);
    FileDescription desc;
    int16_t status = readDescription(db, &desc);
    if (status == StatusOk)
        status = upgradeIfOld(db, desc);
    if (status != StatusOk) {
        sqlite3_close_v2(db);
        // The file is there: what cannot be opened is its log beside it.
        return status == StatusFileNotFound ? int16_t(StatusAccessDenied) : status;
    }
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        sqlite3_close_v2(db);
        return StatusFileNotFound;
    }
    out->reset(new RecordFile(db, path, std::move(desc), uint64_t(st.st_dev), uint64_t(st.st_ino)));
    return StatusOk;
}

bool RecordFile::stillAtItsPath() const
{
    struct stat st;
    return ::stat(path_.c_str(), &st) == 0 && uint64_t(st.st_dev) == device_ && uint64_t(st.st_ino) == inode_;
}

int16_t RecordFile::create(const std::string& path, const FileDescription& desc)
{
    // Creating over an existing file replaces it; its journal goes with it so that a stale
    // one is never played back into the new file.
    if (fileExists(path)) {
        if (::unlink(path.c_str()) != 0)
            return errno == EACCES || errno == EPERM ? int16_t(StatusAccessDenied) : int16_t(StatusIoError);
        ::unlink((path + "-journal").c_str());
        ::unlink((path + "-wal").c_str());
        ::unlink((path + "-shm").c_str());
    }
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, OpenFlags | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        const int error = sqlite3_system_errno(db);
        sqlite3_close_v2(db);
        // The folder is missing or cannot be written.
        return error == EACCES || error == EPERM ? int16_t(StatusAccessDenied) : int16_t(StatusFileNotFound);
    }
    configure(db);
    // One transaction: a file is either complete or refused at open, never half made.
    rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, schema::createSql(desc).c_str(), nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        rc = sqlite3_prepare_v2(db, "INSERT INTO description(body) VALUES (?1)", -1, &st, nullptr);
        if (rc == SQLITE_OK) {
            const std::vector<uint8_t> body = desc.encode();
            sqlite3_bind_blob(st, 1, body.data(), int(body.size()), SQLITE_TRANSIENT);
            rc = sqlite3_step(st);
            rc = rc == SQLITE_DONE ? SQLITE_OK : rc;
        }
        sqlite3_finalize(st);
    }
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    // Write-ahead logging, kept in the file: readers and the writer of other processes never
    // wait for each other (only writers do), and a read costs half what it does with a
    // rollback journal. The price is two companion files beside the record file while it is
    // in use, and that all the processes sharing a file run on one machine.
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    const int16_t status = statusOf(rc, true);
    sqlite3_close_v2(db);
    if (status != StatusOk)
        ::unlink(path.c_str());
    return status;
}

sqlite3_stmt* RecordFile::statement(KeyStatement which, int keyNum)
{
    if (which == KeyStatementCount)
        return nullptr;
    sqlite3_stmt*& st = keyStatements_[size_t(keyNum)][which];
    if (st)
        return st;
    static constexpr std::array<schema::KeyQuery, KeyStatementCount> queries = {
        schema::KeyQuery::First,       schema::KeyQuery::Last,           schema::KeyQuery::Equal,
        schema::KeyQuery::Greater,     schema::KeyQuery::GreaterOrEqual, schema::KeyQuery::Less,
        schema::KeyQuery::LessOrEqual, schema::KeyQuery::NextInGroup,    schema::KeyQuery::PreviousInGroup};
    const std::string sql = schema::keyQuerySql(description_, keyNum, queries[which]);
    if (sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st);
        st = nullptr;
    }
    return st;
}

sqlite3_stmt* RecordFile::statement(FileStatement which)
{
    if (which == FileStatementCount)
        return nullptr;
    sqlite3_stmt*& st = fileStatements_[which];
    if (st)
        return st;
    std::string sql;
    switch (which) {
    case SelectBySeq:
        sql = "SELECT seq, data, ver FROM records WHERE seq = ?1";
        break;
    case InsertRecord:
        sql = schema::insertSql(description_);
        break;
    case UpdateRecord:
        sql = schema::updateSql(description_);
        break;
    case DeleteRecord:
        sql = "DELETE FROM records WHERE seq = ?1 AND ver = ?2";
        break;
    case CountRecords:
        sql = "SELECT count(*) FROM records";
        break;
    case BeginRead:
        sql = "BEGIN";
        break;
    case CommitRead:
    case CommitWrite:
        sql = "COMMIT";
        break;
    case BeginWrite:
        sql = "BEGIN IMMEDIATE";
        break;
    case RollbackWrite:
        sql = "ROLLBACK";
        break;
    case NextStamp:
        sql = "UPDATE sequence SET value = max(value, ?1) + 1 RETURNING value";
        break;
    case RaiseSequence:
        sql = "UPDATE sequence SET value = max(value, ?1)";
        break;
    case FileStatementCount:
        return nullptr;
    }
    if (sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st);
        st = nullptr;
    }
    return st;
}

int16_t RecordFile::exec(const char* sql, bool writing)
{
    return statusOf(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr), writing);
}

int16_t RecordFile::run(FileStatement which, const char* sql, bool writing)
{
    sqlite3_stmt* st = statement(which);
    if (!st)
        return exec(sql, writing);
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    return statusOf(rc, writing);
}

int16_t RecordFile::begin()
{
    if (inTransaction_)
        return StatusOk;
    endSnapshot();
    // The write lock is taken at once: a transaction that could only learn at its first write
    // that another process holds the file would have to be abandoned, not retried.
    const int16_t status = exec(sqlite3_db_readonly(db_, "main") == 1 ? "BEGIN" : "BEGIN IMMEDIATE", true);
    inTransaction_ = status == StatusOk;
    return status;
}

int16_t RecordFile::commit()
{
    if (!inTransaction_)
        return StatusOk;
    const int16_t status = exec("COMMIT", true);
    if (status == StatusOk || sqlite3_get_autocommit(db_))
        inTransaction_ = false;
    return status;
}

void RecordFile::beginSnapshot()
{
    if (inTransaction_ || inSnapshot_)
        return;
    inSnapshot_ = run(BeginRead, "BEGIN", false) == StatusOk;
}

void RecordFile::endSnapshot()
{
    if (!inSnapshot_)
        return;
    // Ending a transaction that only read cannot fail for want of a lock.
    if (!sqlite3_get_autocommit(db_))
        run(CommitRead, "COMMIT", false);
    inSnapshot_ = false;
}

void RecordFile::rollback()
{
    if (!inTransaction_)
        return;
    if (!sqlite3_get_autocommit(db_))
        exec("ROLLBACK", true);
    inTransaction_ = false;
    // The stamps given inside the transaction went back with it; keep them given, so that no
    // other client's new record takes a seq that an open may still stand on. When the file is
    // busy this waits for a later write of this client, which starts above them anyway.
    if (sqlite3_stmt* st = statement(RaiseSequence)) {
        sqlite3_bind_int64(st, 1, highestStamp_);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
}

int16_t RecordFile::beginWrite()
{
    if (inTransaction_)
        return StatusOk;
    const int16_t status = run(BeginWrite, "BEGIN IMMEDIATE", true);
    inWrite_ = status == StatusOk;
    return status;
}

int16_t RecordFile::endWrite(int16_t status)
{
    if (!inWrite_)
        return status;
    inWrite_ = false;
    if (status == StatusOk) {
        status = run(CommitWrite, "COMMIT", true);
        if (status == StatusOk || sqlite3_get_autocommit(db_))
            return status;
    }
    run(RollbackWrite, "ROLLBACK", true);
    return status;
}

int16_t RecordFile::nextStamp(int64_t* stamp)
{
    sqlite3_stmt* st = statement(NextStamp);
    if (!st)
        return StatusIoError;
    sqlite3_bind_int64(st, 1, highestStamp_);
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW)
        *stamp = sqlite3_column_int64(st, 0);
    sqlite3_reset(st);
    if (rc != SQLITE_ROW)
        return statusOf(rc, true);
    highestStamp_ = *stamp;
    return StatusOk;
}

} // namespace nvx::engine
