#pragma once

#include "common/Win1252.h"

#include <QStringView>

namespace nvx {

// Whether a key read back from the record manager still lies within a range: the key, in the
// code page and cut to the limit's length, does not sort after the limit (bytes compared as
// unsigned, as the record manager orders them). The same answer as comparing the encoded
// texts, without encoding them: the export asks once for each row and marker it reads.
inline bool cleAuPlus(QStringView cle, QStringView limite)
{
    const qsizetype n = qMin(cle.size(), limite.size());
    for (qsizetype i = 0; i < n; ++i) {
        const QChar a = cle[i];
        const QChar b = limite[i];
        if (a == b)
            continue;
        const int octetA = a.unicode() < 0x80 ? int(a.unicode()) : windows1252Code(a);
        const int octetB = b.unicode() < 0x80 ? int(b.unicode()) : windows1252Code(b);
        if (octetA != octetB)
            return octetA < octetB;
    }
    return true;
}

} // namespace nvx
