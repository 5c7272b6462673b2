#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// What every fuzz target shares: the entry point libFuzzer calls (the replay driver of the normal
// build calls the same one), a check that aborts with its reason, and a reader that cuts the
// input into the values a target needs.

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace nvx::fuzz {

// A property that does not hold is a finding: the reason goes to stderr and the process aborts,
// so that libFuzzer keeps the input and the replay test fails.
[[noreturn]] inline void fail(const char* file, int line, const char* condition, const QString& detail)
{
    std::fprintf(stderr, "%s:%d: property violated: %s\n%s\n", file, line, condition,
                 detail.toUtf8().constData());
    std::fflush(stderr);
    std::abort();
}

#define FUZZ_CHECK(condition, detail)                                                                        \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            ::nvx::fuzz::fail(__FILE__, __LINE__, #condition, (detail));                                     \
    } while (false)

// Hands the input out piece by piece; once it runs dry every value is zero or empty, so a
// target never reads past the end.
class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t remaining() const { return size_ - at_; }
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    bool flag() { return byte() & 1; }
    // A value in [0, count) (count > 0).
    int pick(int count) { return int(byte() % unsigned(count)); }
    uint16_t u16() { return uint16_t(byte() | (byte() << 8)); }
    uint32_t u32()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= uint32_t(byte()) << (8 * i);
        return v;
    }
    // Up to max bytes, fewer when the input ends; the length comes from the input.
    QByteArray bytes(int max)
    {
        const int wanted = max > 0 ? pick(max + 1) : 0;
        return take(size_t(wanted));
    }
    QByteArray take(size_t n)
    {
        n = n < remaining() ? n : remaining();
        const QByteArray out(reinterpret_cast<const char*>(data_ + at_), qsizetype(n));
        at_ += n;
        return out;
    }
    QByteArray rest() { return take(remaining()); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// Text for a failure message: the bytes with everything outside printable ASCII in hex.
inline QString shown(const QByteArray& bytes)
{
    std::string out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F && u != '\\') {
            out.push_back(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            out += hex;
        }
    }
    return QString::fromStdString(out);
}

inline QString shown(const QString& text)
{
    return shown(text.toUtf8());
}

} // namespace nvx::fuzz
