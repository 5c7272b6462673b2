#include "db/engine/EmbeddedEngine.h"

#include "db/engine/EngineStatus.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sqlite3.h>

namespace nvx::engine {

namespace {

constexpr int HandleDigits = 8;

// Handles are unique in the process, so a position block handed to the wrong engine instance
// is refused rather than taken for one of its own opens.
uint32_t nextHandle()
{
    static std::atomic<uint32_t> counter{0};
    uint32_t h = ++counter;
    while (h == 0)
        h = ++counter;
    return h;
}

void writeHandle(uint8_t* posBlock, uint32_t handle)
{
    static const char digits[] = "0123456789ABCDEF";
    std::memset(posBlock, 0, PositionBlockSize);
    for (int i = HandleDigits - 1; i >= 0; --i) {
        posBlock[i] = static_cast<uint8_t>(digits[handle & 0xF]);
        handle >>= 4;
    }
}

bool readHandle(const uint8_t* posBlock, uint32_t* handle)
{
    uint32_t h = 0;
    for (int i = 0; i < HandleDigits; ++i) {
        const uint8_t c = posBlock[i];
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else
            return false;
        h = (h << 4) | uint32_t(v);
    }
    *handle = h;
    return true;
}

// The path in a key buffer: up to the terminating NUL, without the blanks a caller may pad
// the buffer with.
std::string pathFromKey(const uint8_t* keyBuf, uint8_t keyLen)
{
    const auto* end = static_cast<const uint8_t*>(std::memchr(keyBuf, 0, keyLen));
    std::string path(reinterpret_cast<const char*>(keyBuf), end ? size_t(end - keyBuf) : size_t(keyLen));
    while (!path.empty() && path.back() == ' ')
        path.pop_back();
    return path;
}

} // namespace

EmbeddedEngine::~EmbeddedEngine()
{
    endSnapshots();
    for (const auto& file : transactionFiles_)
        file->rollback();
    transactionFiles_.clear();
    opens_.clear();
}

QString EmbeddedEngine::description() const
{
    return QStringLiteral("embedded");
}

int16_t EmbeddedEngine::BTRCALL(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen, void* keyBuf,
                                uint8_t keyLen, int8_t keyNum)
{
    auto* pos = static_cast<uint8_t*>(posBlock);
    auto* data = static_cast<uint8_t*>(dataBuf);
    auto* key = static_cast<uint8_t*>(keyBuf);

    // The lock biases (+100 to +400) ask for record locks; here the unit of locking is the
    // whole file, taken by transactions, so the bias changes nothing.
    uint16_t base = op;
    if (op >= 100 && op < 500)
        base = op % 100;

    // A write must see the file as it is now, and a transaction takes the write lock, which a
    // read view of an older state of the file would refuse.
    if (!snapshotFiles_.empty() &&
        (base == OpInsert || base == OpUpdate || base == OpDelete || base == OpCreate ||
         base == OpBeginTransaction || base == OpBeginConcurrentTransaction))
        endSnapshots();

    switch (base) {
    case OpOpen:
        if (!pos || !key)
            return StatusInvalidPointer;
        return open(pos, key, keyLen, keyNum);
    case OpCreate:
        if (!key || !data || !dataLen)
            return StatusInvalidPointer;
        return create(data, dataLen, key, keyLen, keyNum);
    case OpBeginTransaction:
    case OpBeginConcurrentTransaction:
        return beginTransaction();
    case OpEndTransaction:
        return endTransaction();
    case OpAbortTransaction:
        return abortTransaction();
    default:
        break;
    }

    if (base > OpStat)
        return StatusInvalidOperation;
    if (!pos)
        return StatusInvalidPointer;
    Open* o = findOpen(pos);
    if (!o)
        return StatusFileNotOpen;
    // A file deleted or replaced while open is reported as missing; it can still be closed.
    if (base != OpClose && !o->file->stillAtItsPath())
        return StatusFileNotFound;

    const bool reading = base == OpStat || (base >= OpGetEqual && base <= OpGetLast);
    if (reading && readsDepth_ > 0 && !inTransaction_)
        joinSnapshot(*o);

    switch (base) {
    case OpClose:
        return close(pos);
    case OpStat:
        if (!data || !dataLen)
            return StatusInvalidPointer;
        return stat(*o, data, dataLen);
    case OpInsert:
        if (!data || !dataLen || !key)
            return StatusInvalidPointer;
        return insert(*o, data, dataLen, key, keyLen, keyNum);
    case OpUpdate:
        if (!data || !dataLen || !key)
            return StatusInvalidPointer;
        return update(*o, data, dataLen, key, keyLen, keyNum);
    case OpDelete:
        return remove(*o);
    case OpGetEqual:
    case OpGetNext:
    case OpGetPrevious:
    case OpGetGreater:
    case OpGetGreaterOrEqual:
    case OpGetLess:
    case OpGetLessOrEqual:
    case OpGetFirst:
    case OpGetLast:
        if (!data || !dataLen || !key)
            return StatusInvalidPointer;
        return get(*o, base, data, dataLen, key, keyLen, keyNum);
    default:
        return StatusInvalidOperation;
    }
}

EmbeddedEngine::Open* EmbeddedEngine::findOpen(const void* posBlock)
{
    uint32_t handle;
    if (!readHandle(static_cast<const uint8_t*>(posBlock), &handle))
        return nullptr;
    const auto it = opens_.find(handle);
    return it == opens_.end() ? nullptr : &it->second;
}

int16_t EmbeddedEngine::open(uint8_t* posBlock, const uint8_t* keyBuf, uint8_t keyLen, int8_t mode)
{
    const std::string path = pathFromKey(keyBuf, keyLen);
    if (path.empty())
        return StatusInvalidFileName;
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved))
        return StatusFileNotFound;

    std::shared_ptr<RecordFile> file;
    const auto known = files_.find(resolved);
    if (known != files_.end())
        file = known->second.lock();
    // The file this client has open there was deleted or replaced: this open takes the new one.
    if (file && !file->stillAtItsPath())
        file.reset();
    if (!file) {
        const int16_t status = RecordFile::open(resolved, &file);
        if (status != StatusOk)
            return status;
        std::erase_if(files_, [](const auto& entry) { return entry.second.expired(); });
        files_[resolved] = file;
    }
    if (inTransaction_ && !file->inTransaction()) {
        const int16_t status = file->begin();
        if (status != StatusOk)
            return status;
        transactionFiles_.push_back(file);
    }

    const uint32_t handle = nextHandle();
    Open& o = opens_[handle];
    o.file = std::move(file);
    // Open modes: 0 normal, -1 accelerated, -3 verify and -4 exclusive all read and write;
    // -2 is read-only.
    o.readOnly = mode == -2;
    writeHandle(posBlock, handle);
    return StatusOk;
}

int16_t EmbeddedEngine::close(uint8_t* posBlock)
{
    uint32_t handle = 0;
    readHandle(posBlock, &handle);
    opens_.erase(handle);
    std::memset(posBlock, 0, PositionBlockSize);
    return StatusOk;
}

int16_t EmbeddedEngine::create(const uint8_t* dataBuf, const uint32_t* dataLen, const uint8_t* keyBuf,
                               uint8_t keyLen, int8_t mode)
{
    const std::string path = pathFromKey(keyBuf, keyLen);
    if (path.empty())
        return StatusInvalidFileName;
    char resolved[PATH_MAX];
    const bool exists = ::realpath(path.c_str(), resolved) != nullptr;
    if (exists && mode == -1)
        return StatusFileExists;
    if (exists) {
        // Replacing a file this client has open would pull it from under its own positions.
        const auto known = files_.find(resolved);
        const std::shared_ptr<RecordFile> open = known != files_.end() ? known->second.lock() : nullptr;
        if (open && open->stillAtItsPath())
            return StatusFileInUse;
    }
    FileDescription desc;
    const int16_t status = FileDescription::parse(dataBuf, *dataLen, &desc);
    if (status != StatusOk)
        return status;
    return RecordFile::create(path, desc);
}

int16_t EmbeddedEngine::stat(Open& o, uint8_t* dataBuf, uint32_t* dataLen)
{
    RecordFile& file = *o.file;
    sqlite3_stmt* st = file.statement(RecordFile::CountRecords);
    if (!st)
        return StatusIoError;
    const int rc = sqlite3_step(st);
    const int64_t count = rc == SQLITE_ROW ? sqlite3_column_int64(st, 0) : 0;
    sqlite3_reset(st);
    if (rc != SQLITE_ROW)
        return RecordFile::statusOf(rc, false);
    const std::vector<uint8_t> body =
        file.description().encode(uint32_t(std::min<int64_t>(count, UINT32_MAX)));
    if (*dataLen < body.size())
        return StatusDataBufferTooShort;
    std::memcpy(dataBuf, body.data(), body.size());
    *dataLen = uint32_t(body.size());
    return StatusOk;
}

void EmbeddedEngine::beginReads()
{
    ++readsDepth_;
}

void EmbeddedEngine::endReads()
{
    if (readsDepth_ > 0 && --readsDepth_ == 0)
        endSnapshots();
}

void EmbeddedEngine::joinSnapshot(const Open& o)
{
    if (o.file->inSnapshot() || o.file->inTransaction())
        return;
    o.file->beginSnapshot();
    if (o.file->inSnapshot())
        snapshotFiles_.push_back(o.file);
}

void EmbeddedEngine::endSnapshots()
{
    for (const auto& file : snapshotFiles_)
        file->endSnapshot();
    snapshotFiles_.clear();
}

int16_t EmbeddedEngine::beginTransaction()
{
    if (inTransaction_)
        return StatusTransactionActive;
    // Every file the client has open joins at once, so a transaction never holds one file
    // while waiting for another (two clients could otherwise wait on each other for ever).
    std::vector<std::shared_ptr<RecordFile>> joined;
    for (const auto& entry : files_) {
        std::shared_ptr<RecordFile> file = entry.second.lock();
        if (!file)
            continue;
        const int16_t status = file->begin();
        if (status != StatusOk) {
            for (const auto& f : joined)
                f->rollback();
            return status;
        }
        joined.push_back(std::move(file));
    }
    transactionFiles_ = std::move(joined);
    inTransaction_ = true;
    return StatusOk;
}

int16_t EmbeddedEngine::endTransaction()
{
    if (!inTransaction_)
        return StatusNoTransaction;
    int16_t status = StatusOk;
    bool pending = false;
    for (const auto& file : transactionFiles_) {
        const int16_t s = file->commit();
        if (s != StatusOk && status == StatusOk)
            status = s;
        pending = pending || file->inTransaction();
    }
    // A commit refused because another process reads the file stays open for a retry.
    if (!pending) {
        transactionFiles_.clear();
        inTransaction_ = false;
    }
    return status;
}

int16_t EmbeddedEngine::abortTransaction()
{
    if (!inTransaction_)
        return StatusNoTransaction;
    for (const auto& file : transactionFiles_)
        file->rollback();
    transactionFiles_.clear();
    inTransaction_ = false;
    return StatusOk;
}

} // namespace nvx::engine

namespace nvx {

std::unique_ptr<BtrieveEngine> createEmbeddedEngine()
{
    return std::make_unique<engine::EmbeddedEngine>();
}

} // namespace nvx
