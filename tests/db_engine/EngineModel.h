#pragma once

// A small in-memory record manager that the engine is compared with: the records of one file,
// the order of each key as the record manager defines it, the position of each open and the
// client's transaction. It knows nothing of SQLite or of the engine's comparison forms: keys
// compare here as lists of numbers, one per character or integer segment.
#include "EngineHarness.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace nvx::test::model {

using KeyValue = std::vector<int64_t>;

struct Key {
    std::vector<Segment> segments;
    uint16_t length = 0;
    bool duplicates = false;
    bool modifiable = false;
};

inline std::vector<Key> keysOf(const std::vector<std::vector<Segment>>& shapes)
{
    std::vector<Key> keys;
    for (const auto& segments : shapes) {
        Key k;
        k.segments = segments;
        for (const Segment& s : segments)
            k.length = uint16_t(k.length + s.length);
        k.duplicates = segments.front().flags & engine::KeyFlag::Duplicates;
        k.modifiable = segments.front().flags & engine::KeyFlag::Modifiable;
        keys.push_back(std::move(k));
    }
    return keys;
}

// The key's bytes as the caller sees them: its segments taken from the record in turn.
inline std::string keyBytes(const Key& key, const std::string& record)
{
    std::string out;
    for (const Segment& s : key.segments)
        out += record.substr(s.position - 1, s.length);
    return out;
}

// What the key compares as: one number per character (a-z counted as A-Z when the segment
// ignores case, nothing after the terminator of a NUL-terminated string), one per integer;
// a descending segment counts negated.
inline KeyValue valueOf(const Key& key, const std::string& bytes)
{
    KeyValue v;
    size_t at = 0;
    for (const Segment& s : key.segments) {
        const bool descending = s.flags & engine::KeyFlag::Descending;
        const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + at);
        at += s.length;
        if (s.type == engine::KeyType::Integer || s.type == engine::KeyType::Unsigned) {
            uint64_t u = 0;
            for (int i = s.length - 1; i >= 0; --i)
                u = (u << 8) | p[i];
            int64_t n = int64_t(u);
            if (s.type == engine::KeyType::Integer && s.length < 8 && (u >> (8 * s.length - 1)) & 1)
                n -= int64_t(1) << (8 * s.length);
            v.push_back(descending ? -n : n);
            continue;
        }
        bool ended = false;
        for (int i = 0; i < s.length; ++i) {
            int64_t c = p[i];
            ended = ended || (s.type == engine::KeyType::ZString && c == 0);
            if (ended)
                c = 0;
            if ((s.flags & engine::KeyFlag::CaseInsensitive) && c >= 'a' && c <= 'z')
                c -= 'a' - 'A';
            v.push_back(descending ? -c : c);
        }
    }
    return v;
}

// The outcome the record manager gives for one call: its status and, where the call writes
// them, the record and the key it hands back. Everything not named is left as it was.
struct Expected {
    Expected(int16_t s = 0, std::optional<std::string> r = {}, std::optional<std::string> k = {})
        : status(s), record(std::move(r)), key(std::move(k))
    {
    }
    int16_t status;
    std::optional<std::string> record;
    std::optional<std::string> key;
    std::optional<uint32_t> count; // stat
};

// One open's place in the file.
struct Position {
    bool positioned = false; // a get, insert or update set it
    bool onRecord = false;   // ... and that record has not been deleted by this open since
    int keyNum = -1;         // key of the last operation that set it
    KeyValue value;          // that key's value and order stamp where it stood
    uint64_t order = 0;
    uint64_t id = 0; // the record, and its version when this open last read or wrote it
    uint64_t version = 0;
};

class File {
public:
    File(std::vector<Key> keys, uint16_t recordLength) : keys_(std::move(keys)), recordLength_(recordLength)
    {
    }

    int keyCount() const { return int(keys_.size()); }
    const Key& key(int k) const { return keys_[size_t(k)]; }
    uint16_t recordLength() const { return recordLength_; }
    size_t size() const { return records_.size(); }
    // The record an open stands on, if it still exists.
    const std::string* recordAt(const Position& p) const;
    // Every record in the order of key k.
    std::vector<std::string> walk(int k) const;

    Expected insert(Position& p, const std::string& data, uint32_t dataLen, int keyNum, uint8_t keyLen);
    Expected update(Position& p, const std::string& data, uint32_t dataLen, int keyNum, uint8_t keyLen);
    Expected remove(Position& p);
    // Every get operation: 5, 6, 7, 8, 9, 10, 11, 12, 13.
    Expected get(Position& p, uint16_t op, int keyNum, const std::string& keyBuf, uint8_t keyLen,
                 uint32_t dataLen);
    Expected stat() const;

    Expected begin();
    Expected end();
    Expected abort();
    bool inTransaction() const { return inTransaction_; }

private:
    struct Record {
        std::string data;
        uint64_t version = 0;
        std::vector<uint64_t> order; // per key: when the record took its place among duplicates
    };
    // A record of key k against a value and order stamp: <0, 0, >0. Unique keys ignore the
    // stamp.
    int compare(int k, const Record& r, const KeyValue& v, uint64_t order) const;
    // The first (or last) record of key k for which accept holds.
    template <typename Accept>
    const std::pair<const uint64_t, Record>* pick(int k, bool last, Accept accept) const;
    bool clashes(const std::string& data, uint64_t except) const;
    Expected found(Position& p, int keyNum, const std::pair<const uint64_t, Record>& entry);

    std::vector<Key> keys_;
    uint16_t recordLength_;
    std::map<uint64_t, Record> records_;
    // Stamps for record ids, versions and duplicate order: they only grow, aborts included.
    uint64_t stamp_ = 0;
    bool inTransaction_ = false;
    std::map<uint64_t, Record> beforeTransaction_;
};

} // namespace nvx::test::model
