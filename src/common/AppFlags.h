#pragma once

#include <QString>

namespace nvx {

// Process-wide flags and values that the start-up sequence sets and every subsystem reads.
// One instance lives in the application and is passed by reference to the owners that need it.
struct AppFlags {
    bool PbBFermetureApplication = false; // set from the first line of the main window's unload
    bool PbBInModeLoadingFrmMain = false; // true while the main window loads
    bool SetupCharge = false;             // true while the settings are loaded
    qint16 BaseCourante = 0;              // index 0..4 of the current database
    QString FormatDate = QStringLiteral("dd/MM/yyyy");
    QString DossierApplication; // suite form, always ends with "\"
    QString NomExecutable;      // the running program's file name
    QString NomProduit = QStringLiteral("Tools NVX");
};

} // namespace nvx
