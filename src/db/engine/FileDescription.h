#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The description of a record file, as handed to create (operation 14) and returned by stat
// (operation 15). All numbers are little-endian.
//
// File header, 16 bytes:
//   0  u16  record length (bytes of the fixed part of every record)
//   2  u16  page size (kept for stat; a multiple of 512 from 512 to 16384)
//   4  u16  number of keys; their segments follow the header
//   6  u32  reserved on create; stat returns the number of records here
//  10  u16  file flags (0x0001: variable-length records, data may run past the fixed part)
//  12  u16  reserved
//  14  u16  reserved
//
// Then one 16-byte block per key segment, the segments of key 0 first, then key 1, ...:
//   0  u16  position of the segment in the record, 1-based
//   2  u16  length of the segment
//   4  u16  flags: 0x0001 duplicates allowed, 0x0002 modifiable, 0x0010 another segment of
//           the same key follows, 0x0040 descending, 0x0100 the extended type below applies,
//           0x0400 case-insensitive (a-z compare as A-Z; no other letter is folded)
//   6  u32  reserved
//  10  u8   extended type: 0 string, 1 signed integer, 11 NUL-terminated string,
//           14 unsigned integer (integers little-endian, 1, 2, 4 or 8 bytes)
//  11  u8   null value (kept for stat)
//  12  u16  reserved
//  14  u8   reserved
//  15  u8   alternate collating sequence number (kept for stat)
// The duplicates and modifiable flags of a key are those of its first segment.
namespace nvx::engine {

namespace KeyFlag {
constexpr uint16_t Duplicates = 0x0001;
constexpr uint16_t Modifiable = 0x0002;
constexpr uint16_t Segmented = 0x0010;
constexpr uint16_t Descending = 0x0040;
constexpr uint16_t ExtendedType = 0x0100;
constexpr uint16_t CaseInsensitive = 0x0400;
} // namespace KeyFlag

namespace KeyType {
constexpr uint8_t String = 0;
constexpr uint8_t Integer = 1;
constexpr uint8_t ZString = 11;
constexpr uint8_t Unsigned = 14;
} // namespace KeyType

namespace FileFlag {
constexpr uint16_t VariableLength = 0x0001;
}

struct KeySegment {
    uint16_t position = 1; // 1-based
    uint16_t length = 0;
    uint16_t flags = 0;
    uint8_t extendedType = KeyType::String;
    uint8_t nullValue = 0;
    uint8_t acs = 0;

    // The type that decides the comparison (string unless the extended type is given).
    uint8_t type() const { return (flags & KeyFlag::ExtendedType) ? extendedType : KeyType::String; }
};

struct KeyDescription {
    std::vector<KeySegment> segments;
    uint16_t length = 0; // sum of the segment lengths: the key as the caller sees it

    bool duplicates() const { return segments.front().flags & KeyFlag::Duplicates; }
    bool modifiable() const { return segments.front().flags & KeyFlag::Modifiable; }

    // The key's bytes as they stand in the record, segments one after the other.
    void copyFromRecord(const uint8_t* record, uint8_t* out) const;
    // The comparison form of a key given as the caller sees it (length bytes): byte order of
    // the result is the order of the keys.
    void comparisonForm(const uint8_t* key, std::string& out) const;
    // The same, taken from the record's bytes.
    void comparisonFormOfRecord(const uint8_t* record, std::string& out) const;
};

struct FileDescription {
    static constexpr size_t HeaderSize = 16;
    static constexpr size_t SegmentSize = 16;
    static constexpr uint16_t MaxKeys = 119;
    static constexpr uint16_t MaxKeyLength = 255;

    uint16_t recordLength = 0;
    uint16_t pageSize = 0;
    uint16_t flags = 0;
    std::vector<KeyDescription> keys;

    bool variableLength() const { return flags & FileFlag::VariableLength; }
    size_t segmentCount() const;
    size_t encodedSize() const { return HeaderSize + SegmentSize * segmentCount(); }

    // Reads and checks a description; returns 0 or the status that refuses it.
    static int16_t parse(const uint8_t* data, size_t size, FileDescription* out);
    // The description in the layout above, with the record count in the header.
    std::vector<uint8_t> encode(uint32_t recordCount = 0) const;
};

} // namespace nvx::engine
