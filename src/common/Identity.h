#pragma once

#include <QString>

namespace nvx {

// Who the running program is: set by the start-up sequence, then only read. What changes while
// it runs (starting, closing, settings loaded) is the lifecycle's.
struct Identity {
    qint16 BaseCourante = 0; // index 0..4 of the current database
    QString FormatDate = QStringLiteral("dd/MM/yyyy");
    QString DossierApplication; // suite form, always ends with "\"
    QString NomExecutable;      // the running program's file name
    QString NomProduit = QStringLiteral("Tools NVX");
};

} // namespace nvx
