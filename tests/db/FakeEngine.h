#pragma once

#include "db/engine/BtrieveEngine.h"

#include <QByteArray>
#include <QList>

#include <cstring>
#include <functional>
#include <map>
#include <string>

namespace nvx::test {

// An in-memory record manager: files by path, records ordered on one unique key (key 0, the
// leading bytes of the record), enough operations for the access layer, and statuses that a
// test can impose on the next calls.
class FakeEngine final : public BtrieveEngine {
public:
    struct Call {
        uint16_t op;
        QByteArray key; // the key buffer as handed in (up to its first zero byte for opens)
        int8_t keyNum;
    };
    struct File {
        int keyLength = 8;
        int recordLength = 100;
        std::map<QByteArray, QByteArray> records;
    };

    // Gives a status in place of running the call; -1 runs it. Opens and closes are never
    // intercepted.
    std::function<int16_t(uint16_t op)> impose;
    // Status of every open when not 0 (a file held or damaged).
    int16_t openRefusal = 0;
    // Every file exists, empty, as on a site whose record files were all created.
    bool everyFileExists = false;

    std::map<std::string, File> files;
    QList<Call> calls;

    File& seed(const QString& nativePath, int keyLength, int recordLength)
    {
        File& f = files[nativePath.toStdString()];
        f.keyLength = keyLength;
        f.recordLength = recordLength;
        return f;
    }
    static void put(File& f, const QByteArray& record)
    {
        QByteArray r = record.leftJustified(f.recordLength, ' ', true);
        f.records[r.left(f.keyLength)] = r;
    }
    int count(uint16_t op) const
    {
        int n = 0;
        for (const Call& c : calls)
            n += c.op == op;
        return n;
    }
    int dataCalls() const { return int(calls.size()) - count(0) - count(1); }

    int16_t BTRCALL(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen, void* keyBuf,
                    uint8_t keyLen, int8_t keyNum) override
    {
        auto* key = static_cast<char*>(keyBuf);
        const QByteArray keyIn(key, keyLen);
        calls.append({op, (op == 0 || op == 14) ? QByteArray(key) : keyIn, keyNum});
        if (op == 0)
            return open(static_cast<char*>(posBlock), key);
        if (op == 1)
            return opens.erase(handle(posBlock)) ? 0 : 3;
        if (op == 14)
            return create(static_cast<const uint8_t*>(dataBuf), key, keyNum);
        if (impose) {
            const int16_t s = impose(op);
            if (s >= 0)
                return s;
        }
        if (op == 19 || op == 20 || op == 21 || op == 1019)
            return 0;
        auto it = opens.find(handle(posBlock));
        if (it == opens.end())
            return 3;
        Open& o = it->second;
        File& f = files[o.path];
        auto* data = static_cast<char*>(dataBuf);
        const QByteArray k = keyIn.left(f.keyLength);
        auto found = f.records.end();
        switch (op) {
        case 2:
        case 3: {
            const QByteArray r(data, qMin<int>(int(*dataLen), f.recordLength));
            if (op == 2 && f.records.count(r.left(f.keyLength)))
                return 5;
            put(f, r);
            o.current = r.left(f.keyLength);
            std::memcpy(key, o.current.constData(), size_t(f.keyLength));
            return 0;
        }
        case 5:
            found = f.records.find(k);
            if (found == f.records.end())
                return 4;
            break;
        case 6:
            found = f.records.upper_bound(o.current);
            break;
        case 7:
            found = f.records.find(o.current);
            found = found == f.records.begin() ? f.records.end() : std::prev(found);
            break;
        case 9:
            found = f.records.lower_bound(k);
            break;
        case 10:
        case 11: {
            auto u = op == 11 ? f.records.upper_bound(k) : f.records.lower_bound(k);
            found = u == f.records.begin() ? f.records.end() : std::prev(u);
            break;
        }
        default:
            return 1;
        }
        if (found == f.records.end())
            return 9;
        if (*dataLen < uint32_t(f.recordLength))
            return 22;
        std::memcpy(data, found->second.constData(), size_t(f.recordLength));
        *dataLen = uint32_t(f.recordLength);
        std::memcpy(key, found->first.constData(), size_t(f.keyLength));
        o.current = found->first;
        return 0;
    }

    QString description() const override { return QStringLiteral("fake"); }

private:
    struct Open {
        std::string path;
        QByteArray current;
    };

    static int handle(const void* posBlock)
    {
        int h = 0;
        std::memcpy(&h, posBlock, sizeof h);
        return h;
    }

    int16_t open(char* posBlock, const char* path)
    {
        if (!files.count(path) && !everyFileExists)
            return 12;
        files.try_emplace(path);
        if (openRefusal)
            return openRefusal;
        const int h = nextHandle++;
        std::memcpy(posBlock, &h, sizeof h);
        opens[h] = {path, {}};
        return 0;
    }

    int16_t create(const uint8_t* structureFichier, const char* path, int8_t keyNum)
    {
        if (files.count(path) && keyNum == -1)
            return 59;
        const auto u16 = [](const uint8_t* p) { return int(p[0] | (p[1] << 8)); };
        // Key 0: its segments up to the first one without the "more segments" flag.
        int keyLength = 0;
        for (const uint8_t* s = structureFichier + 16;; s += 16) {
            keyLength += u16(s + 2);
            if (!(u16(s + 4) & 0x10))
                break;
        }
        seed(QString::fromUtf8(path), keyLength, u16(structureFichier));
        return 0;
    }

    std::map<int, Open> opens;
    int nextHandle = 1;
};

} // namespace nvx::test
