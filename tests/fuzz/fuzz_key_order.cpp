// The engine's keys: the bytes it stores for a key sort, compared as bytes (as SQLite compares
// blobs), exactly as the record manager orders those keys: strings byte by byte (a-z as A-Z when
// case-insensitive), NUL-terminated strings up to their end, integers by value, each segment
// reversed when descending, segments in turn.
#include "FuzzCheck.h"
#include "db/engine/FileDescription.h"

#include <cstring>
#include <string>
#include <vector>

using namespace nvx::engine;
using namespace nvx::fuzz;

namespace {

int sign(long long v)
{
    return v < 0 ? -1 : v > 0 ? 1 : 0;
}

uint8_t upper(uint8_t c, bool fold)
{
    return fold && c >= 'a' && c <= 'z' ? uint8_t(c - 'a' + 'A') : c;
}

// The record manager's comparison of one segment's values.
int compareSegment(const KeySegment& seg, const uint8_t* a, const uint8_t* b)
{
    const bool fold = seg.flags & KeyFlag::CaseInsensitive;
    switch (seg.type()) {
    case KeyType::Integer:
    case KeyType::Unsigned: {
        uint64_t ua = 0, ub = 0;
        for (int i = seg.length - 1; i >= 0; --i) {
            ua = (ua << 8) | a[i];
            ub = (ub << 8) | b[i];
        }
        if (seg.type() == KeyType::Unsigned)
            return ua < ub ? -1 : ua > ub ? 1 : 0;
        // Sign-extend from the segment's width.
        const int shift = 64 - 8 * seg.length;
        const auto sa = static_cast<int64_t>(ua << shift) >> shift;
        const auto sb = static_cast<int64_t>(ub << shift) >> shift;
        return sa < sb ? -1 : sa > sb ? 1 : 0;
    }
    case KeyType::ZString:
        for (int i = 0; i < seg.length; ++i) {
            const uint8_t ca = upper(a[i], fold), cb = upper(b[i], fold);
            if (ca != cb)
                return ca < cb ? -1 : 1;
            if (ca == 0)
                return 0;
        }
        return 0;
    default:
        for (int i = 0; i < seg.length; ++i) {
            const uint8_t ca = upper(a[i], fold), cb = upper(b[i], fold);
            if (ca != cb)
                return ca < cb ? -1 : 1;
        }
        return 0;
    }
}

int compareKeys(const KeyDescription& key, const uint8_t* a, const uint8_t* b)
{
    for (const KeySegment& seg : key.segments) {
        const int c = compareSegment(seg, a, b);
        if (c != 0)
            return (seg.flags & KeyFlag::Descending) ? -c : c;
        a += seg.length;
        b += seg.length;
    }
    return 0;
}

int compareStored(const std::string& a, const std::string& b)
{
    const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    return c != 0 ? sign(c) : sign(static_cast<long long>(a.size()) - static_cast<long long>(b.size()));
}

KeyDescription keyOf(Input& in)
{
    static constexpr uint8_t kTypes[] = {KeyType::String, KeyType::ZString, KeyType::Integer,
                                         KeyType::Unsigned};
    static constexpr uint16_t kIntegerLengths[] = {1, 2, 4, 8};
    KeyDescription key;
    const int segments = 1 + in.pick(3);
    for (int i = 0; i < segments; ++i) {
        KeySegment seg;
        seg.extendedType = kTypes[in.pick(4)];
        const bool integer = seg.extendedType == KeyType::Integer || seg.extendedType == KeyType::Unsigned;
        seg.length = integer ? kIntegerLengths[in.pick(4)] : uint16_t(1 + in.pick(12));
        seg.flags =
            uint16_t((in.flag() ? KeyFlag::Descending : 0) | (in.flag() ? KeyFlag::CaseInsensitive : 0) |
                     (seg.extendedType != KeyType::String || in.flag() ? KeyFlag::ExtendedType : 0));
        seg.position = uint16_t(key.length + 1);
        key.length = uint16_t(key.length + seg.length);
        key.segments.push_back(seg);
    }
    return key;
}

QString describe(const KeyDescription& key, const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    QString s;
    for (const KeySegment& seg : key.segments)
        s += QStringLiteral("[type %1 length %2 flags %3] ")
                 .arg(seg.type())
                 .arg(seg.length)
                 .arg(seg.flags, 0, 16);
    const auto hex = [](const std::vector<uint8_t>& v) {
        return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size())).toHex(' ');
    };
    return s + QStringLiteral("\na: ") + QString::fromLatin1(hex(a)) + QStringLiteral("\nb: ") +
           QString::fromLatin1(hex(b));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const KeyDescription key = keyOf(in);
    std::vector<uint8_t> a(key.length), b(key.length);
    for (uint8_t& c : a)
        c = in.byte();
    // The second key is the first with a few bytes changed, so that near keys are compared too.
    b = a;
    for (int changes = in.pick(4); changes >= 0; --changes)
        b[size_t(in.pick(key.length))] = in.byte();

    std::string ea, eb;
    key.comparisonForm(a.data(), ea);
    key.comparisonForm(b.data(), eb);
    const QString what = describe(key, a, b);
    const int expected = compareKeys(key, a.data(), b.data());
    FUZZ_CHECK(compareStored(ea, eb) == expected, what + QStringLiteral("\nexpected %1").arg(expected));
    FUZZ_CHECK(compareStored(eb, ea) == -expected, what);
    FUZZ_CHECK((ea == eb) == (expected == 0), what);

    // A key taken from a record is stored as the same key handed in by a caller.
    const int before = in.pick(8);
    std::vector<uint8_t> record(size_t(before), 0xA5);
    record.insert(record.end(), a.begin(), a.end());
    KeyDescription placed = key;
    for (KeySegment& seg : placed.segments)
        seg.position = uint16_t(seg.position + before);
    std::string fromRecord;
    placed.comparisonFormOfRecord(record.data(), fromRecord);
    FUZZ_CHECK(fromRecord == ea, what);
    std::vector<uint8_t> copied(key.length);
    placed.copyFromRecord(record.data(), copied.data());
    FUZZ_CHECK(copied == a, what);
    return 0;
}
