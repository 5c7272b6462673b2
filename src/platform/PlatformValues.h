#pragma once

#include <QDateTime>
#include <QString>

#include <array>

namespace nvx {

// The values the platform exchanges share: the token and its dates, the identity, the flags
// the job driver reads, and the hour states of the last query. One instance, owned by the
// platform client; the answer analysis fills most of it.
struct PlatformValues {
    QString PbSCleAPI;
    QString PbSSecretAPI;
    QString TokenId;
    QDateTime TokenDateCreation;
    QDateTime TokenDateExpiration;
    QString UserDescription;
    bool PbBTokenValide = false;
    bool PbBErreurAuthentification = false;
    QString PbSCleRegistreToken; // registry key of the token store

    QDateTime DateStatutHeure;
    QString PbSStatutsHeures;
    std::array<qint16, 24> StatutHeure = filledStates();

    static std::array<qint16, 24> filledStates()
    {
        std::array<qint16, 24> states{};
        states.fill(-1);
        return states;
    }
};

} // namespace nvx
