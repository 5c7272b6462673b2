#pragma once

#include "platform/PlatformClient.h"

namespace nvx {

// The exchanges with the voice-tracking platform that a job makes: what the job needs of the
// platform client. Each step says whether its exchanges got a usable answer and hands back the
// progress lines it calls for; an authentication failure stays recorded until a successful
// authentication clears it.
class PlatformSession {
public:
    virtual ~PlatformSession() = default;
    virtual bool PbBErreurAuthentification() const = 0;
    // A forced login with the installation's key and secret.
    virtual PlatformStep reauthenticate() = 0;
    virtual PlatformStep UDPDataArrival_04_02_Hours_Get_Status(qint16 noStation, const QDate& date,
                                                               qint16 hhDeb, qint16 hhFin) = 0;
    // State of an hour from the last query; -1 for an hour outside its range.
    virtual qint16 StatutHeure(int heure) const = 0;
    virtual PlatformStep UDPDataArrival_04_03_FTP_Sons(int ligne) = 0;
    virtual PlatformStep UDPDataArrival_04_04_Conducteur(qint16 noStation, const QString& fichier) = 0;
    virtual PlatformStep UDPDataArrival_04_05_Hours_Set_Status(qint16 noStation, const QDate& date,
                                                               int premiere, int derniere) = 0;
    // The connect command: ok when connected.
    virtual PlatformStep login() = 0;
    // A job's exchanges begin: what was noted of the previous job's exchanges is forgotten.
    virtual void beginJob() = 0;
    // An exchange of this job found the platform unreachable: nothing more is asked of it.
    virtual bool unreachable() const = 0;
};

// The platform client as the job's session.
class ClientSession final : public PlatformSession {
public:
    explicit ClientSession(PlatformClient& client) : client_(client) {}

    bool PbBErreurAuthentification() const override { return client_.PbBErreurAuthentification(); }
    PlatformStep reauthenticate() override
    {
        return client_.UDPDataArrival_04_01_Authentification(client_.PbSCleAPI(), client_.PbSSecretAPI(),
                                                             true);
    }
    PlatformStep UDPDataArrival_04_02_Hours_Get_Status(qint16 noStation, const QDate& date, qint16 hhDeb,
                                                       qint16 hhFin) override
    {
        return client_.UDPDataArrival_04_02_Hours_Get_Status(noStation, date, hhDeb, hhFin);
    }
    qint16 StatutHeure(int heure) const override { return client_.StatutHeure(heure); }
    PlatformStep UDPDataArrival_04_03_FTP_Sons(int ligne) override
    {
        return client_.UDPDataArrival_04_03_FTP_Sons(ligne);
    }
    PlatformStep UDPDataArrival_04_04_Conducteur(qint16 noStation, const QString& fichier) override
    {
        return client_.UDPDataArrival_04_04_Conducteur(noStation, fichier);
    }
    PlatformStep UDPDataArrival_04_05_Hours_Set_Status(qint16 noStation, const QDate& date, int premiere,
                                                       int derniere) override
    {
        return client_.UDPDataArrival_04_05_Hours_Set_Status(noStation, date, premiere, derniere);
    }
    PlatformStep login() override { return client_.login(); }
    void beginJob() override { client_.beginJob(); }
    bool unreachable() const override { return client_.unreachable(); }

private:
    PlatformClient& client_;
};

} // namespace nvx
