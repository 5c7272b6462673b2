// Reading by key, and the writes that move or invalidate a position.
#include "db/engine/EmbeddedEngine.h"
#include "db/engine/EngineStatus.h"
#include "db/engine/RecordSchema.h"

#include <cstring>
#include <sqlite3.h>

namespace nvx::engine {

int16_t EmbeddedEngine::get(Open& o, uint16_t op, uint8_t* dataBuf, uint32_t* dataLen, uint8_t* keyBuf,
                            uint8_t keyLen, int keyNum)
{
    RecordFile& file = *o.file;
    const std::vector<KeyDescription>& keys = file.description().keys;
    if (keyNum < 0 || size_t(keyNum) >= keys.size())
        return StatusInvalidKeyNumber;
    const KeyDescription& key = keys[size_t(keyNum)];
    if (keyLen < key.length)
        return StatusKeyBufferTooShort;

    bool found = false;
    int16_t status;
    if (op == OpGetNext || op == OpGetPrevious) {
        if (!o.positioned)
            return StatusInvalidPositioning;
        if (keyNum != o.keyNum)
            return StatusDifferentKeyNumber;
        // From the current key and insertion sequence, so that a record deleted or changed
        // meanwhile (by this open or another) never loses the place.
        const bool forward = op == OpGetNext;
        keyScratch_ = o.key;
        if (key.duplicates()) {
            sqlite3_stmt* st = file.statement(
                forward ? RecordFile::SelectNextInGroup : RecordFile::SelectPreviousInGroup, keyNum);
            if (!st)
                return StatusIoError;
            sqlite3_bind_blob(st, 1, keyScratch_.data(), int(keyScratch_.size()), SQLITE_STATIC);
            sqlite3_bind_int64(st, 2, o.order);
            status = step(o, st, keyNum, dataBuf, dataLen, keyBuf, &found);
            if (status != StatusOk || found)
                return status;
        }
        sqlite3_stmt* st =
            file.statement(forward ? RecordFile::SelectGreater : RecordFile::SelectLess, keyNum);
        if (!st)
            return StatusIoError;
        sqlite3_bind_blob(st, 1, keyScratch_.data(), int(keyScratch_.size()), SQLITE_STATIC);
        status = step(o, st, keyNum, dataBuf, dataLen, keyBuf, &found);
        return status != StatusOk ? status : found ? int16_t(StatusOk) : int16_t(StatusEndOfFile);
    }

    RecordFile::KeyStatement which;
    switch (op) {
    case OpGetEqual:
        which = RecordFile::SelectEqual;
        break;
    case OpGetGreater:
        which = RecordFile::SelectGreater;
        break;
    case OpGetGreaterOrEqual:
        which = RecordFile::SelectGreaterOrEqual;
        break;
    case OpGetLess:
        which = RecordFile::SelectLess;
        break;
    case OpGetLessOrEqual:
        which = RecordFile::SelectLessOrEqual;
        break;
    case OpGetFirst:
        which = RecordFile::SelectFirst;
        break;
    default:
        which = RecordFile::SelectLast;
        break;
    }
    sqlite3_stmt* st = file.statement(which, keyNum);
    if (!st)
        return StatusIoError;
    if (op != OpGetFirst && op != OpGetLast) {
        key.comparisonForm(keyBuf, keyScratch_);
        sqlite3_bind_blob(st, 1, keyScratch_.data(), int(keyScratch_.size()), SQLITE_STATIC);
    }
    status = step(o, st, keyNum, dataBuf, dataLen, keyBuf, &found);
    if (status != StatusOk || found)
        return status;
    return op == OpGetEqual ? StatusKeyNotFound : StatusEndOfFile;
}

int16_t EmbeddedEngine::step(Open& o, sqlite3_stmt* st, int keyNum, uint8_t* dataBuf, uint32_t* dataLen,
                             uint8_t* keyBuf, bool* found)
{
    *found = false;
    const int rc = sqlite3_step(st);
    if (rc != SQLITE_ROW) {
        sqlite3_reset(st);
        return RecordFile::statusOf(rc, false);
    }
    const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(st, 1));
    const auto size = uint32_t(sqlite3_column_bytes(st, 1));
    const FileDescription& desc = o.file->description();
    int16_t status = StatusOk;
    if (size < desc.recordLength)
        status = StatusIoError;
    else if (size > *dataLen)
        status = StatusDataBufferTooShort; // nothing copied, position unchanged
    if (status != StatusOk) {
        sqlite3_reset(st);
        return status;
    }
    std::memcpy(dataBuf, data, size);
    *dataLen = size;
    desc.keys[size_t(keyNum)].copyFromRecord(dataBuf, keyBuf);
    o.seq = sqlite3_column_int64(st, 0);
    o.key.assign(static_cast<const char*>(sqlite3_column_blob(st, 2)), size_t(sqlite3_column_bytes(st, 2)));
    o.order = sqlite3_column_int64(st, 3);
    o.version = sqlite3_column_int64(st, 4);
    o.keyNum = keyNum;
    o.positioned = true;
    o.onRecord = true;
    sqlite3_reset(st);
    *found = true;
    return StatusOk;
}

void EmbeddedEngine::bindRecord(sqlite3_stmt* st, const RecordFile& file, const uint8_t* record,
                                uint32_t size)
{
    const std::vector<KeyDescription>& keys = file.description().keys;
    recordKeys_.resize(keys.size());
    sqlite3_bind_blob(st, 1, record, int(size), SQLITE_STATIC);
    for (size_t k = 0; k < keys.size(); ++k) {
        keys[k].comparisonFormOfRecord(record, recordKeys_[k]);
        sqlite3_bind_blob(st, int(k + 2), recordKeys_[k].data(), int(recordKeys_[k].size()), SQLITE_STATIC);
    }
}

int16_t EmbeddedEngine::insert(Open& o, const uint8_t* dataBuf, const uint32_t* dataLen, uint8_t* keyBuf,
                               uint8_t keyLen, int keyNum)
{
    if (o.readOnly)
        return StatusAccessDenied;
    RecordFile& file = *o.file;
    const FileDescription& desc = file.description();
    // A negative key number inserts without moving the position.
    if (keyNum >= int(desc.keys.size()))
        return StatusInvalidKeyNumber;
    if (keyNum >= 0 && keyLen < desc.keys[size_t(keyNum)].length)
        return StatusKeyBufferTooShort;
    if (*dataLen < desc.recordLength)
        return StatusDataBufferTooShort;
    const uint32_t size = desc.variableLength() ? *dataLen : desc.recordLength;

    sqlite3_stmt* st = file.statement(RecordFile::InsertRecord);
    if (!st)
        return StatusIoError;
    int16_t status = file.beginWrite();
    if (status != StatusOk)
        return status;
    int64_t stamp = 0;
    status = file.nextStamp(&stamp);
    if (status == StatusOk) {
        bindRecord(st, file, dataBuf, size);
        sqlite3_bind_int64(st, schema::stampParameter(desc), stamp);
        const int rc = sqlite3_step(st);
        sqlite3_reset(st);
        status = rc == SQLITE_DONE ? int16_t(StatusOk) : RecordFile::statusOf(rc, true);
    }
    status = file.endWrite(status);
    if (status != StatusOk || keyNum < 0)
        return status;
    o.seq = stamp;
    o.key = recordKeys_[size_t(keyNum)];
    o.order = stamp;
    o.version = stamp;
    o.keyNum = keyNum;
    o.positioned = true;
    o.onRecord = true;
    desc.keys[size_t(keyNum)].copyFromRecord(dataBuf, keyBuf);
    return StatusOk;
}

int16_t EmbeddedEngine::checkUnchanged(const Open& o, sqlite3_stmt* st, const uint8_t** old)
{
    sqlite3_bind_int64(st, 1, o.seq);
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_DONE)
        return StatusInvalidPositioning; // deleted since it was read
    if (rc != SQLITE_ROW)
        return RecordFile::statusOf(rc, false);
    // Written by another open or client since this one read it: the caller reads it again.
    if (sqlite3_column_int64(st, 2) != o.version)
        return StatusConflict;
    if (uint32_t(sqlite3_column_bytes(st, 1)) < o.file->description().recordLength)
        return StatusIoError;
    *old = static_cast<const uint8_t*>(sqlite3_column_blob(st, 1));
    return StatusOk;
}

int16_t EmbeddedEngine::rewrite(Open& o, const uint8_t* record, uint32_t size, int64_t* stamp)
{
    RecordFile& file = *o.file;
    const FileDescription& desc = file.description();
    // A key declared not modifiable keeps its value for the life of the record.
    bool anyFixed = false;
    for (const KeyDescription& key : desc.keys)
        anyFixed = anyFixed || !key.modifiable();
    if (anyFixed) {
        sqlite3_stmt* st = file.statement(RecordFile::SelectBySeq);
        if (!st)
            return StatusIoError;
        const uint8_t* old = nullptr;
        int16_t status = checkUnchanged(o, st, &old);
        std::string before, after;
        for (size_t k = 0; k < desc.keys.size() && status == StatusOk; ++k) {
            if (desc.keys[k].modifiable())
                continue;
            desc.keys[k].comparisonFormOfRecord(old, before);
            desc.keys[k].comparisonFormOfRecord(record, after);
            if (before != after)
                status = StatusKeyNotModifiable;
        }
        sqlite3_reset(st);
        if (status != StatusOk)
            return status;
    }
    sqlite3_stmt* st = file.statement(RecordFile::UpdateRecord);
    if (!st)
        return StatusIoError;
    const int16_t status = file.nextStamp(stamp);
    if (status != StatusOk)
        return status;
    bindRecord(st, file, record, size);
    const int s = schema::stampParameter(desc);
    sqlite3_bind_int64(st, s, *stamp);
    sqlite3_bind_int64(st, s + 1, o.seq);
    sqlite3_bind_int64(st, s + 2, o.version);
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE)
        return RecordFile::statusOf(rc, true);
    if (sqlite3_changes(file.db()) > 0)
        return StatusOk;
    return missedWriteStatus(o, file);
}

int16_t EmbeddedEngine::missedWriteStatus(const Open& o, RecordFile& file)
{
    // Deleted or written meanwhile (by another open of this client or by another client).
    sqlite3_stmt* again = file.statement(RecordFile::SelectBySeq);
    if (!again)
        return StatusIoError;
    const uint8_t* old = nullptr;
    const int16_t why = checkUnchanged(o, again, &old);
    sqlite3_reset(again);
    return why == StatusOk ? int16_t(StatusIoError) : why;
}

int16_t EmbeddedEngine::update(Open& o, const uint8_t* dataBuf, const uint32_t* dataLen, uint8_t* keyBuf,
                               uint8_t keyLen, int keyNum)
{
    if (o.readOnly)
        return StatusAccessDenied;
    if (!o.positioned || !o.onRecord)
        return StatusInvalidPositioning;
    RecordFile& file = *o.file;
    const FileDescription& desc = file.description();
    if (keyNum < 0 || size_t(keyNum) >= desc.keys.size())
        return StatusInvalidKeyNumber;
    if (keyNum != o.keyNum)
        return StatusDifferentKeyNumber;
    const KeyDescription& key = desc.keys[size_t(keyNum)];
    if (keyLen < key.length)
        return StatusKeyBufferTooShort;
    if (*dataLen < desc.recordLength)
        return StatusDataBufferTooShort;
    const uint32_t size = desc.variableLength() ? *dataLen : desc.recordLength;

    int16_t status = file.beginWrite();
    if (status != StatusOk)
        return status;
    int64_t stamp = 0;
    status = file.endWrite(rewrite(o, dataBuf, size, &stamp));
    if (status != StatusOk)
        return status;
    // The position follows the record; a duplicate whose value changed now stands after the
    // others of its new value.
    const std::string& now = recordKeys_[size_t(keyNum)];
    if (now != o.key)
        o.order = stamp;
    o.key = now;
    o.version = stamp;
    // Like an insert or a get, the update hands back the key of the record.
    key.copyFromRecord(dataBuf, keyBuf);
    return StatusOk;
}

int16_t EmbeddedEngine::remove(Open& o)
{
    if (o.readOnly)
        return StatusAccessDenied;
    if (!o.positioned || !o.onRecord)
        return StatusInvalidPositioning;
    RecordFile& file = *o.file;
    sqlite3_stmt* st = file.statement(RecordFile::DeleteRecord);
    if (!st)
        return StatusIoError;
    sqlite3_bind_int64(st, 1, o.seq);
    sqlite3_bind_int64(st, 2, o.version);
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE)
        return RecordFile::statusOf(rc, true);
    if (sqlite3_changes(file.db()) == 0)
        return missedWriteStatus(o, file);
    // Next and previous still go on from where the record stood.
    o.onRecord = false;
    return StatusOk;
}

} // namespace nvx::engine
