#pragma once

#include "db/engine/BtrieveEngine.h"
#include "db/engine/RecordFile.h"

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace nvx::engine {

// The record manager's call over SQLite record files. One instance is one client of the
// record manager: it owns its opens, their positions and its transaction. Not thread-safe;
// callers on several threads take turns.
class EmbeddedEngine final : public BtrieveEngine {
public:
    EmbeddedEngine() = default;
    ~EmbeddedEngine() override;

    int16_t BTRCALL(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen, void* keyBuf,
                    uint8_t keyLen, int8_t keyNum) override;
    QString description() const override;
    void beginReads() override;
    void endReads() override;

private:
    // One open of a file, named by the handle written into the caller's position block.
    struct Open {
        std::shared_ptr<RecordFile> file;
        bool readOnly = false;
        bool positioned = false; // a get or insert has set a position
        bool onRecord = false;   // ... and that record has not been deleted since
        int keyNum = -1;         // the key of that position
        int64_t seq = 0;         // identity of the current record
        std::string key;         // comparison form of the current record's key keyNum
        int64_t order = 0;       // its order among the records of that value
        int64_t version = 0;     // its ver when this open last read or wrote it
    };

    // The record a get found, as its statement returned it.
    struct Found {
        int64_t seq;
        const uint8_t* data;
        uint32_t size;
        const void* key;
        int keySize;
    };

    Open* findOpen(const void* posBlock);
    int16_t open(uint8_t* posBlock, const uint8_t* keyBuf, uint8_t keyLen, int8_t mode);
    int16_t close(uint8_t* posBlock);
    int16_t create(const uint8_t* dataBuf, const uint32_t* dataLen, const uint8_t* keyBuf, uint8_t keyLen,
                   int8_t mode);
    int16_t stat(Open& o, uint8_t* dataBuf, uint32_t* dataLen);
    int16_t beginTransaction();
    int16_t endTransaction();
    int16_t abortTransaction();
    // Puts the open's file under this client's read view when reads are grouped.
    void joinSnapshot(const Open& o);
    void endSnapshots();

    int16_t get(Open& o, uint16_t op, uint8_t* dataBuf, uint32_t* dataLen, uint8_t* keyBuf, uint8_t keyLen,
                int keyNum);
    int16_t step(Open& o, sqlite3_stmt* st, int keyNum, uint8_t* dataBuf, uint32_t* dataLen, uint8_t* keyBuf,
                 bool* found);
    int16_t insert(Open& o, const uint8_t* dataBuf, const uint32_t* dataLen, uint8_t* keyBuf, uint8_t keyLen,
                   int keyNum);
    int16_t update(Open& o, const uint8_t* dataBuf, const uint32_t* dataLen, uint8_t* keyBuf, uint8_t keyLen,
                   int keyNum);
    // Runs the update once the file is in a write; *stamp is the record's new ver.
    int16_t rewrite(Open& o, const uint8_t* record, uint32_t size, int64_t* stamp);
    // 80 when the record at the open's position changed since the open read it, 8 when it is
    // gone; *old points into the statement, valid until it is reset.
    int16_t checkUnchanged(const Open& o, sqlite3_stmt* st, const uint8_t** old);
    // The status of a write that changed no row: the record went or changed since it was read.
    int16_t missedWriteStatus(const Open& o, RecordFile& file);
    int16_t remove(Open& o);
    // Binds the record's data and every key's comparison form from ?1 on.
    void bindRecord(sqlite3_stmt* st, const RecordFile& file, const uint8_t* record, uint32_t size);

    std::unordered_map<uint32_t, Open> opens_;
    // Every file this client has open, by its resolved path, shared by the opens of that file.
    std::map<std::string, std::weak_ptr<RecordFile>> files_;
    bool inTransaction_ = false;
    // Files that joined the transaction stay alive until it ends, even when closed inside it.
    std::vector<std::shared_ptr<RecordFile>> transactionFiles_;
    // Grouped reads: their depth and the files holding a read view until the group ends.
    int readsDepth_ = 0;
    std::vector<std::shared_ptr<RecordFile>> snapshotFiles_;
    std::string keyScratch_;
    std::vector<std::string> recordKeys_;
};

} // namespace nvx::engine
