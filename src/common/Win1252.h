#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace nvx {

// The suite's files and record buffers are in Windows-1252. Bytes 0x81, 0x8D, 0x8F, 0x90 and
// 0x9D, which the code page leaves undefined, map to the control characters of the same value
// so that every byte survives a round trip.
QString fromWindows1252(QByteArrayView bytes);
// Characters outside the code page become "?".
QByteArray toWindows1252(const QString& text);
// The code-page value of one character ("?" = 63 when it has none).
int windows1252Code(QChar c);

} // namespace nvx
