#pragma once

#include <QString>

namespace nvx {

// The error saved by a trap just before it reports.
struct SavedError {
    qint32 ErreurNumero = 0;
    qint32 ErreurLigne = 0;
    QString ErreurDescription;
    QString ErreurSource;
};

// Where every procedure traces and reports its errors; the trace log implements it.
class Reporter {
public:
    virtual ~Reporter() = default;

    virtual void TraceLog(qint16 base, qint16 colonne1, qint16 colonne2, const QString& texte,
                          bool incident = false, qint16 niveau = -1, bool ecritureAutorisee = true) = 0;
    // Reports the saved error under "Module:Procedure".
    virtual void GestionDesErreurs(const QString& origine) = 0;
    // Writes what waits in memory now (at the end of a job, so that the log shows all of it).
    virtual void flush() {}

    // Short form used by nearly every caller.
    void trace(const QString& texte, bool incident = false) { TraceLog(-1, -1, -1, texte, incident); }

    SavedError erreur;
};

} // namespace nvx
