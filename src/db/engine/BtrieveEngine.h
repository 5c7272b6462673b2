#pragma once

#include <QString>

#include <cstdint>
#include <memory>

namespace nvx {

// The record manager's single call. Operation codes, buffers and statuses are those of the
// record manager: 0 open, 1 close, 2 insert, 3 update, 4 delete, 5 get equal, 6 get next,
// 7 get previous, 8 get greater, 9 get greater or equal, 10 get less, 11 get less or equal,
// 12 get first, 13 get last, 14 create, 15 stat, 19/1019 begin transaction, 20 end, 21 abort.
class BtrieveEngine {
public:
    virtual ~BtrieveEngine() = default;
    virtual int16_t BTRCALL(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen, void* keyBuf,
                            uint8_t keyLen, int8_t keyNum) = 0;
    // Which engine answers ("embedded" or the library's path), for the trace.
    virtual QString description() const = 0;

    // Between beginReads() and endReads() the reads of a file may all see it as it was at the
    // first of them, which spares the engine a lock per call; a write or a transaction of
    // this client ends that view first. Nested pairs count. An engine that cannot do this
    // ignores both.
    virtual void beginReads() {}
    virtual void endReads() {}
};

// The engine built into the program (one SQLite database per record file).
std::unique_ptr<BtrieveEngine> createEmbeddedEngine();
// A vendor client library loaded at run time; null with *error filled when it cannot be
// loaded or has no BTRCALL.
std::unique_ptr<BtrieveEngine> loadVendorEngine(const QString& libraryPath, QString* error);
// The engine the program uses: the library named by libraryPath, else $VL3_BTRIEVE_LIBRARY,
// else the embedded one.
std::unique_ptr<BtrieveEngine> createEngine(const QString& libraryPath, QString* error);

} // namespace nvx
