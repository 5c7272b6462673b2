#pragma once

#include "db/engine/FileDescription.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace nvx::engine {

// One record file: an SQLite database at the file's own path holding the file's description
// and its records, each record with the comparison form of every key in its own indexed
// column. All the opens of one file in one engine share it; the position of each open is kept
// by the engine, so statements here are stateless and reset after every use.
class RecordFile {
public:
    // Statements that depend on a key; each returns (seq, data, key column).
    enum KeyStatement {
        SelectFirst,
        SelectLast,
        SelectEqual,
        SelectGreater,
        SelectGreaterOrEqual,
        SelectLess,
        SelectLessOrEqual,
        SelectNextInGroup,     // same key, later insertion
        SelectPreviousInGroup, // same key, earlier insertion
        KeyStatementCount
    };
    enum FileStatement {
        SelectBySeq, // (seq, data, ver)
        InsertRecord,
        UpdateRecord,
        DeleteRecord, // ?1 seq, ?2 the ver it was read with
        CountRecords,
        BeginRead, // the read view of grouped reads, taken and left for each group
        CommitRead,
        BeginWrite, // a write outside the client's transaction
        CommitWrite,
        RollbackWrite,
        NextStamp,
        RaiseSequence,
        FileStatementCount
    };

    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Opens an existing file, bringing a file of the first format up to date; 0 or the status
    // that refuses it (12 missing, 30 not a record file, 84/85 locked by another process).
    static int16_t open(const std::string& path, std::shared_ptr<RecordFile>* out);
    // Creates (or replaces) a file with the given description.
    static int16_t create(const std::string& path, const FileDescription& desc);

    const FileDescription& description() const { return description_; }
    const std::string& path() const { return path_; }
    // False once the path no longer names the file that was opened (deleted, or replaced by
    // another file): what is read is then no longer the file's, and what is written is lost.
    bool stillAtItsPath() const;
    sqlite3* db() const { return db_; }

    // Prepared on first use, kept for the life of the file; null when preparing failed.
    sqlite3_stmt* statement(KeyStatement which, int keyNum);
    sqlite3_stmt* statement(FileStatement which);

    // Transaction of the engine's client on this file.
    int16_t begin();
    int16_t commit();
    void rollback();
    bool inTransaction() const { return inTransaction_; }

    // A write made of several statements is one change of the file: inside the client's
    // transaction it simply joins it, outside it runs in its own. endWrite commits when status
    // is 0 and rolls back otherwise; it returns the status of the whole write.
    int16_t beginWrite();
    int16_t endWrite(int16_t status);
    // A stamp never given before to any record of the file, by any client: the seq of a new
    // record, the ver of a written one, the order of a duplicate that changed value.
    int16_t nextStamp(int64_t* stamp);

    // A read transaction that keeps one view of the file across several reads; it takes no
    // lock until the first read and never blocks a writer of another process.
    void beginSnapshot();
    void endSnapshot();
    bool inSnapshot() const { return inSnapshot_; }

    // The status that reports an SQLite result code; writing tells a refused write lock
    // (file in use) from a refused read (record in use).
    static int16_t statusOf(int rc, bool writing);

private:
    RecordFile(sqlite3* db, std::string path, FileDescription desc, uint64_t device, uint64_t inode);
    int16_t exec(const char* sql, bool writing);
    // One of the file's statements that returns no row, prepared once; run as SQL text when it
    // cannot be prepared.
    int16_t run(FileStatement which, const char* sql, bool writing);

    sqlite3* db_;
    std::string path_;
    uint64_t device_;
    uint64_t inode_;
    FileDescription description_;
    bool inTransaction_ = false;
    bool inSnapshot_ = false;
    bool inWrite_ = false;
    // The highest stamp this client was given: an aborted transaction takes the file's
    // sequence back, but the opens of this client may still hold stamps it handed out.
    int64_t highestStamp_ = 0;
    std::vector<std::array<sqlite3_stmt*, KeyStatementCount>> keyStatements_;
    std::array<sqlite3_stmt*, FileStatementCount> fileStatements_{};
};

} // namespace nvx::engine
