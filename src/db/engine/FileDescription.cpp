#include "db/engine/FileDescription.h"

#include "db/engine/EngineStatus.h"

#include <algorithm>

namespace nvx::engine {

namespace {

uint16_t readU16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

void writeU16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void writeU32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool isIntegerType(uint8_t type)
{
    return type == KeyType::Integer || type == KeyType::Unsigned;
}

bool isKnownType(uint8_t type)
{
    return type == KeyType::String || type == KeyType::ZString || isIntegerType(type);
}

uint8_t foldCase(uint8_t c)
{
    // Only the unaccented letters: the files' code page puts accented letters elsewhere, and
    // the record manager never folded them either.
    return (c >= 'a' && c <= 'z') ? static_cast<uint8_t>(c - ('a' - 'A')) : c;
}

// Appends one segment's comparison form.
void appendSegment(const KeySegment& seg, const uint8_t* src, std::string& out)
{
    const size_t start = out.size();
    const uint8_t type = seg.type();
    if (isIntegerType(type)) {
        // Little-endian in the record; big-endian compares bytewise in numeric order once the
        // sign bit of a signed value is flipped.
        for (int i = seg.length - 1; i >= 0; --i)
            out.push_back(static_cast<char>(src[i]));
        if (type == KeyType::Integer)
            out[start] = static_cast<char>(static_cast<uint8_t>(out[start]) ^ 0x80);
    } else {
        const bool fold = seg.flags & KeyFlag::CaseInsensitive;
        bool ended = false;
        for (int i = 0; i < seg.length; ++i) {
            uint8_t c = src[i];
            if (type == KeyType::ZString) {
                // What follows the terminator is not part of the value.
                ended = ended || c == 0;
                if (ended)
                    c = 0;
            }
            out.push_back(static_cast<char>(fold ? foldCase(c) : c));
        }
    }
    if (seg.flags & KeyFlag::Descending) {
        for (size_t i = start; i < out.size(); ++i)
            out[i] = static_cast<char>(~static_cast<uint8_t>(out[i]));
    }
}

} // namespace

void KeyDescription::copyFromRecord(const uint8_t* record, uint8_t* out) const
{
    for (const KeySegment& seg : segments) {
        std::copy_n(record + seg.position - 1, seg.length, out);
        out += seg.length;
    }
}

void KeyDescription::comparisonForm(const uint8_t* key, std::string& out) const
{
    out.clear();
    for (const KeySegment& seg : segments) {
        appendSegment(seg, key, out);
        key += seg.length;
    }
}

void KeyDescription::comparisonFormOfRecord(const uint8_t* record, std::string& out) const
{
    out.clear();
    for (const KeySegment& seg : segments)
        appendSegment(seg, record + seg.position - 1, out);
}

size_t FileDescription::segmentCount() const
{
    size_t n = 0;
    for (const KeyDescription& key : keys)
        n += key.segments.size();
    return n;
}

int16_t FileDescription::parse(const uint8_t* data, size_t size, FileDescription* out)
{
    if (size < HeaderSize)
        return StatusDataBufferTooShort;
    FileDescription desc;
    desc.recordLength = readU16(data);
    desc.pageSize = readU16(data + 2);
    const uint16_t keyCount = readU16(data + 4);
    desc.flags = readU16(data + 10);
    if (desc.recordLength == 0)
        return StatusInvalidRecordLength;
    if (desc.pageSize < 512 || desc.pageSize > 16384 || desc.pageSize % 512 != 0)
        return StatusPageSizeError;
    if (keyCount == 0 || keyCount > MaxKeys)
        return StatusInvalidKeyCount;

    size_t offset = HeaderSize;
    for (uint16_t k = 0; k < keyCount; ++k) {
        KeyDescription key;
        bool more = true;
        while (more) {
            if (offset + SegmentSize > size)
                return StatusDataBufferTooShort;
            const uint8_t* p = data + offset;
            offset += SegmentSize;
            KeySegment seg;
            seg.position = readU16(p);
            seg.length = readU16(p + 2);
            seg.flags = readU16(p + 4);
            seg.extendedType = p[10];
            seg.nullValue = p[11];
            seg.acs = p[15];
            more = seg.flags & KeyFlag::Segmented;
            if (seg.length == 0 || !isKnownType(seg.type()))
                return StatusInvalidKeyLength;
            if (isIntegerType(seg.type()) && seg.length != 1 && seg.length != 2 && seg.length != 4 &&
                seg.length != 8)
                return StatusInvalidKeyLength;
            if (seg.position == 0 || seg.position - 1 + seg.length > desc.recordLength)
                return StatusInvalidKeyPosition;
            if (key.length + seg.length > MaxKeyLength)
                return StatusInvalidKeyLength;
            key.length = static_cast<uint16_t>(key.length + seg.length);
            key.segments.push_back(seg);
        }
        desc.keys.push_back(std::move(key));
    }
    *out = std::move(desc);
    return StatusOk;
}

std::vector<uint8_t> FileDescription::encode(uint32_t recordCount) const
{
    std::vector<uint8_t> buf(encodedSize(), 0);
    writeU16(buf.data(), recordLength);
    writeU16(buf.data() + 2, pageSize);
    writeU16(buf.data() + 4, static_cast<uint16_t>(keys.size()));
    writeU32(buf.data() + 6, recordCount);
    writeU16(buf.data() + 10, flags);
    uint8_t* p = buf.data() + HeaderSize;
    for (const KeyDescription& key : keys) {
        for (size_t i = 0; i < key.segments.size(); ++i) {
            const KeySegment& seg = key.segments[i];
            uint16_t segFlags = seg.flags & ~KeyFlag::Segmented;
            if (i + 1 < key.segments.size())
                segFlags |= KeyFlag::Segmented;
            writeU16(p, seg.position);
            writeU16(p + 2, seg.length);
            writeU16(p + 4, segFlags);
            p[10] = seg.extendedType;
            p[11] = seg.nullValue;
            p[15] = seg.acs;
            p += SegmentSize;
        }
    }
    return buf;
}

} // namespace nvx::engine
