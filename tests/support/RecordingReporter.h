#pragma once

#include "common/Reporter.h"

#include <QList>
#include <QStringList>

#include <algorithm>

namespace nvx::test {

// Keeps every trace line, and for every reported error where it was reported from and the error
// saved at that moment.
struct RecordingReporter final : Reporter {
    void TraceLog(qint16, qint16, qint16, const QString& texte, bool, qint16, bool) override
    {
        lines.append(texte);
    }
    void GestionDesErreurs(const QString& origine) override
    {
        origins.append(origine);
        errors.append(erreur);
    }
    bool traced(const QString& text) const
    {
        return std::any_of(lines.begin(), lines.end(), [&](const QString& l) { return l.contains(text); });
    }

    QStringList lines, origins;
    QList<SavedError> errors;
};

} // namespace nvx::test
