#pragma once

#include <cstdint>

// Operation codes and statuses of the record manager's call, as the embedded engine answers
// them. Callers compare against the numbers; the names are for reading the code.
namespace nvx::engine {

enum Operation : uint16_t {
    OpOpen = 0,
    OpClose = 1,
    OpInsert = 2,
    OpUpdate = 3,
    OpDelete = 4,
    OpGetEqual = 5,
    OpGetNext = 6,
    OpGetPrevious = 7,
    OpGetGreater = 8,
    OpGetGreaterOrEqual = 9,
    OpGetLess = 10,
    OpGetLessOrEqual = 11,
    OpGetFirst = 12,
    OpGetLast = 13,
    OpCreate = 14,
    OpStat = 15,
    OpBeginTransaction = 19,
    OpEndTransaction = 20,
    OpAbortTransaction = 21,
    OpBeginConcurrentTransaction = 1019,
};

enum Status : int16_t {
    StatusOk = 0,
    StatusInvalidOperation = 1,
    StatusIoError = 2,
    StatusFileNotOpen = 3,
    StatusKeyNotFound = 4,
    StatusDuplicateKey = 5,
    StatusInvalidKeyNumber = 6,
    StatusDifferentKeyNumber = 7,
    StatusInvalidPositioning = 8,
    StatusEndOfFile = 9,
    StatusKeyNotModifiable = 10,
    StatusInvalidFileName = 11,
    StatusFileNotFound = 12,
    StatusDiskFull = 18,
    StatusKeyBufferTooShort = 21,
    StatusDataBufferTooShort = 22,
    StatusPageSizeError = 24,
    StatusInvalidKeyCount = 26,
    StatusInvalidKeyPosition = 27,
    StatusInvalidRecordLength = 28,
    StatusInvalidKeyLength = 29,
    StatusNotAnEngineFile = 30,
    StatusTransactionActive = 37,
    StatusNoTransaction = 39,
    StatusConflict = 80,
    StatusAccessDenied = 46,
    StatusFileExists = 59,
    StatusRecordInUse = 84,
    StatusFileInUse = 85,
    StatusInvalidPointer = 2007,
};

// Size of the position block the caller hands in with every call on an open file.
constexpr int PositionBlockSize = 128;

} // namespace nvx::engine
