#include "EngineModel.h"

#include <algorithm>

namespace nvx::test::model {

using namespace nvx::engine;

int File::compare(int k, const Record& r, const KeyValue& v, uint64_t order) const
{
    const KeyValue mine = valueOf(key(k), keyBytes(key(k), r.data));
    if (mine != v)
        return mine < v ? -1 : 1;
    if (!key(k).duplicates || r.order[size_t(k)] == order)
        return 0;
    return r.order[size_t(k)] < order ? -1 : 1;
}

template <typename Accept>
const std::pair<const uint64_t, File::Record>* File::pick(int k, bool last, Accept accept) const
{
    const std::pair<const uint64_t, Record>* best = nullptr;
    for (const auto& entry : records_) {
        if (!accept(entry.second))
            continue;
        const KeyValue v = valueOf(key(k), keyBytes(key(k), entry.second.data));
        if (!best) {
            best = &entry;
            continue;
        }
        const int c = compare(k, best->second, v, entry.second.order[size_t(k)]);
        if (last ? c < 0 : c > 0)
            best = &entry;
    }
    return best;
}

const std::string* File::recordAt(const Position& p) const
{
    const auto it = records_.find(p.id);
    return p.onRecord && it != records_.end() ? &it->second.data : nullptr;
}

std::vector<std::string> File::walk(int k) const
{
    std::vector<const Record*> all;
    for (const auto& entry : records_)
        all.push_back(&entry.second);
    std::sort(all.begin(), all.end(), [&](const Record* a, const Record* b) {
        return compare(k, *a, valueOf(key(k), keyBytes(key(k), b->data)), b->order[size_t(k)]) < 0;
    });
    std::vector<std::string> out;
    for (const Record* r : all)
        out.push_back(r->data);
    return out;
}

bool File::clashes(const std::string& data, uint64_t except) const
{
    for (int k = 0; k < keyCount(); ++k) {
        if (key(k).duplicates)
            continue;
        const KeyValue v = valueOf(key(k), keyBytes(key(k), data));
        for (const auto& [id, r] : records_)
            if (id != except && valueOf(key(k), keyBytes(key(k), r.data)) == v)
                return true;
    }
    return false;
}

Expected File::insert(Position& p, const std::string& data, uint32_t dataLen, int keyNum, uint8_t keyLen)
{
    if (keyNum >= keyCount())
        return {StatusInvalidKeyNumber};
    if (keyNum >= 0 && keyLen < key(keyNum).length)
        return {StatusKeyBufferTooShort};
    if (dataLen < recordLength_)
        return {StatusDataBufferTooShort};
    const std::string record = data.substr(0, recordLength_);
    if (clashes(record, 0))
        return {StatusDuplicateKey};
    const uint64_t id = ++stamp_;
    Record& r = records_[id];
    r.data = record;
    r.version = id;
    r.order.assign(keys_.size(), id);
    // A negative key number inserts without touching the position or the key buffer.
    if (keyNum < 0)
        return {StatusOk};
    p = {true, true, keyNum, valueOf(key(keyNum), keyBytes(key(keyNum), record)), id, id, id};
    return {StatusOk, std::nullopt, keyBytes(key(keyNum), record)};
}

Expected File::update(Position& p, const std::string& data, uint32_t dataLen, int keyNum, uint8_t keyLen)
{
    if (!p.positioned || !p.onRecord)
        return {StatusInvalidPositioning};
    if (keyNum < 0 || keyNum >= keyCount())
        return {StatusInvalidKeyNumber};
    if (keyNum != p.keyNum)
        return {StatusDifferentKeyNumber};
    if (keyLen < key(keyNum).length)
        return {StatusKeyBufferTooShort};
    if (dataLen < recordLength_)
        return {StatusDataBufferTooShort};
    const auto it = records_.find(p.id);
    if (it == records_.end())
        return {StatusInvalidPositioning};
    // Another open changed the record after this one read it.
    if (it->second.version != p.version)
        return {80};
    const std::string record = data.substr(0, recordLength_);
    Record& r = it->second;
    for (int k = 0; k < keyCount(); ++k)
        if (!key(k).modifiable &&
            valueOf(key(k), keyBytes(key(k), r.data)) != valueOf(key(k), keyBytes(key(k), record)))
            return {StatusKeyNotModifiable};
    if (clashes(record, p.id))
        return {StatusDuplicateKey};
    // A duplicate whose value changes takes the last place among the records of its new value.
    for (int k = 0; k < keyCount(); ++k)
        if (valueOf(key(k), keyBytes(key(k), r.data)) != valueOf(key(k), keyBytes(key(k), record)))
            r.order[size_t(k)] = ++stamp_;
    r.data = record;
    r.version = ++stamp_;
    p.value = valueOf(key(keyNum), keyBytes(key(keyNum), record));
    p.order = r.order[size_t(keyNum)];
    p.version = r.version;
    return {StatusOk, std::nullopt, keyBytes(key(keyNum), record)};
}

Expected File::remove(Position& p)
{
    if (!p.positioned || !p.onRecord)
        return {StatusInvalidPositioning};
    const auto it = records_.find(p.id);
    if (it == records_.end())
        return {StatusInvalidPositioning};
    if (it->second.version != p.version)
        return {80};
    records_.erase(it);
    // The next and previous records stay those of the place the record held.
    p.onRecord = false;
    return {StatusOk};
}

Expected File::found(Position& p, int keyNum, const std::pair<const uint64_t, Record>& entry)
{
    const Record& r = entry.second;
    p = {true,
         true,
         keyNum,
         valueOf(key(keyNum), keyBytes(key(keyNum), r.data)),
         r.order[size_t(keyNum)],
         entry.first,
         r.version};
    return {StatusOk, r.data, keyBytes(key(keyNum), r.data)};
}

Expected File::get(Position& p, uint16_t op, int keyNum, const std::string& keyBuf, uint8_t keyLen,
                   uint32_t dataLen)
{
    if (keyNum < 0 || keyNum >= keyCount())
        return {StatusInvalidKeyNumber};
    if (keyLen < key(keyNum).length)
        return {StatusKeyBufferTooShort};
    const int k = keyNum;
    const std::pair<const uint64_t, Record>* hit = nullptr;
    if (op == OpGetNext || op == OpGetPrevious) {
        if (!p.positioned)
            return {StatusInvalidPositioning};
        if (keyNum != p.keyNum)
            return {StatusDifferentKeyNumber};
        const bool next = op == OpGetNext;
        hit = pick(k, !next, [&](const Record& r) {
            const int c = compare(k, r, p.value, p.order);
            return next ? c > 0 : c < 0;
        });
    } else {
        const KeyValue wanted = valueOf(key(k), keyBuf.substr(0, key(k).length));
        const auto valueCmp = [&](const Record& r) {
            const KeyValue v = valueOf(key(k), keyBytes(key(k), r.data));
            return v == wanted ? 0 : (v < wanted ? -1 : 1);
        };
        switch (op) {
        case OpGetEqual:
            hit = pick(k, false, [&](const Record& r) { return valueCmp(r) == 0; });
            break;
        case OpGetGreater:
            hit = pick(k, false, [&](const Record& r) { return valueCmp(r) > 0; });
            break;
        case OpGetGreaterOrEqual:
            hit = pick(k, false, [&](const Record& r) { return valueCmp(r) >= 0; });
            break;
        case OpGetLess:
            hit = pick(k, true, [&](const Record& r) { return valueCmp(r) < 0; });
            break;
        case OpGetLessOrEqual:
            hit = pick(k, true, [&](const Record& r) { return valueCmp(r) <= 0; });
            break;
        case OpGetFirst:
            hit = pick(k, false, [](const Record&) { return true; });
            break;
        default:
            hit = pick(k, true, [](const Record&) { return true; });
            break;
        }
    }
    if (!hit)
        return {op == OpGetEqual ? int16_t(StatusKeyNotFound) : int16_t(StatusEndOfFile)};
    // Nothing is copied into a buffer too short, and the position stays where it was.
    if (dataLen < recordLength_)
        return {StatusDataBufferTooShort};
    return found(p, keyNum, *hit);
}

Expected File::stat() const
{
    Expected e{StatusOk};
    e.count = uint32_t(records_.size());
    return e;
}

Expected File::begin()
{
    if (inTransaction_)
        return {StatusTransactionActive};
    beforeTransaction_ = records_;
    inTransaction_ = true;
    return {StatusOk};
}

Expected File::end()
{
    if (!inTransaction_)
        return {StatusNoTransaction};
    inTransaction_ = false;
    beforeTransaction_.clear();
    return {StatusOk};
}

Expected File::abort()
{
    if (!inTransaction_)
        return {StatusNoTransaction};
    // The records come back as they were; positions are left alone.
    records_ = std::move(beforeTransaction_);
    beforeTransaction_.clear();
    inTransaction_ = false;
    return {StatusOk};
}

} // namespace nvx::test::model
