#pragma once

// Small wrappers over the raw call so that the tests read as the record manager's callers.
#include "db/engine/BtrieveEngine.h"
#include "db/engine/EngineStatus.h"
#include "db/engine/FileDescription.h"

#include <QTemporaryDir>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace nvx::test {

struct Segment {
    uint16_t position; // 1-based
    uint16_t length;
    uint16_t flags = 0;
    uint8_t type = 0;
};

// A create buffer: the 16-byte header and one 16-byte block per segment.
inline std::vector<uint8_t> fileDescription(uint16_t recordLength,
                                            const std::vector<std::vector<Segment>>& keys,
                                            uint16_t pageSize = 1024, uint16_t fileFlags = 0)
{
    std::vector<uint8_t> buf(16, 0);
    auto put16 = [&buf](size_t at, uint16_t v) {
        buf[at] = uint8_t(v);
        buf[at + 1] = uint8_t(v >> 8);
    };
    put16(0, recordLength);
    put16(2, pageSize);
    put16(4, uint16_t(keys.size()));
    put16(10, fileFlags);
    for (const auto& key : keys) {
        for (size_t i = 0; i < key.size(); ++i) {
            const size_t at = buf.size();
            buf.resize(at + 16, 0);
            uint16_t flags = key[i].flags;
            if (i + 1 < key.size())
                flags |= 0x10;
            if (key[i].type != 0)
                flags |= 0x100;
            put16(at, key[i].position);
            put16(at + 2, key[i].length);
            put16(at + 4, flags);
            buf[at + 10] = key[i].type;
        }
    }
    return buf;
}

inline std::string pathKey(const QString& path)
{
    std::string key = path.toStdString();
    key.resize(255, '\0');
    return key;
}

inline int16_t createFile(BtrieveEngine& engine, const QString& path, std::vector<uint8_t> desc,
                          int8_t mode = 0)
{
    char pos[128] = {};
    std::string key = pathKey(path);
    uint32_t len = uint32_t(desc.size());
    return engine.BTRCALL(engine::OpCreate, pos, desc.data(), &len, key.data(), 255, mode);
}

// One open of a file: its position block, the last record and key read.
class Handle {
public:
    Handle(BtrieveEngine& engine, const QString& path, int8_t mode = 0) : engine_(engine)
    {
        std::string key = pathKey(path);
        uint32_t len = 0;
        openStatus = engine_.BTRCALL(engine::OpOpen, pos, nullptr, &len, key.data(), 255, mode);
    }
    ~Handle()
    {
        if (openStatus == 0)
            close();
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    int16_t close()
    {
        uint32_t len = 0;
        char key[255] = {};
        openStatus = -1;
        return engine_.BTRCALL(engine::OpClose, pos, nullptr, &len, key, 255, 0);
    }

    // A get: key is the search key on the way in; on success key() and record() hold what
    // the engine returned.
    int16_t get(uint16_t op, int8_t keyNum, const std::string& searchKey = {}, uint32_t bufferSize = 512)
    {
        keyBuf = searchKey;
        keyBuf.resize(255, ' ');
        buffer.assign(bufferSize, '\xAA');
        dataLen = bufferSize;
        return engine_.BTRCALL(op, pos, buffer.data(), &dataLen, keyBuf.data(), 255, keyNum);
    }
    int16_t insert(std::string data, int8_t keyNum = 0)
    {
        keyBuf.assign(255, ' ');
        dataLen = uint32_t(data.size());
        return engine_.BTRCALL(engine::OpInsert, pos, data.data(), &dataLen, keyBuf.data(), 255, keyNum);
    }
    int16_t update(std::string data, int8_t keyNum)
    {
        keyBuf.assign(255, ' ');
        dataLen = uint32_t(data.size());
        return engine_.BTRCALL(engine::OpUpdate, pos, data.data(), &dataLen, keyBuf.data(), 255, keyNum);
    }
    int16_t remove()
    {
        keyBuf.assign(255, ' ');
        uint32_t len = 0;
        return engine_.BTRCALL(engine::OpDelete, pos, nullptr, &len, keyBuf.data(), 255, 0);
    }
    std::string record() const { return buffer.substr(0, dataLen); }
    std::string key(size_t length) const { return keyBuf.substr(0, length); }

    int16_t openStatus = -1;
    char pos[128] = {};
    std::string keyBuf;
    std::string buffer;
    uint32_t dataLen = 0;

private:
    BtrieveEngine& engine_;
};

inline int16_t transaction(BtrieveEngine& engine, uint16_t op)
{
    char pos[128] = {};
    char key[255] = {};
    uint32_t len = 0;
    return engine.BTRCALL(op, pos, nullptr, &len, key, 255, 0);
}

// A fixed-length record: the given fields at their offsets, blanks elsewhere.
inline std::string record(size_t length, std::initializer_list<std::pair<size_t, std::string>> fields)
{
    std::string r(length, ' ');
    for (const auto& [offset, text] : fields)
        r.replace(offset, text.size(), text);
    return r;
}

inline std::string int32le(int32_t v)
{
    std::string s(4, '\0');
    std::memcpy(s.data(), &v, 4);
    return s;
}

} // namespace nvx::test
