#pragma once

#include <QString>

#include <optional>

namespace nvx {

class IniAccess;
class Configuration;
class Systeme;
class Host;
class Clock;
struct Identity;
class Lifecycle;

// The least of the suite's user rights that start-up needs: whether a login is mandatory,
// who the current user is, whether that user may run this tool, and the user selection.
class UserRights {
public:
    UserRights(Identity& identity, const Lifecycle& lifecycle, IniAccess& ini, Configuration& config,
               Systeme& systeme, Host& host, Clock& clock);

    // True when "DroitsUsers"/"Actif" of the system file is not "0"; read once.
    bool UserObligatoire();
    QString userCourant();
    // True when the current user holds this tool's right.
    bool GestionDroitsUser();
    // Runs the suite's user program with " /Close" and waits for it; false when it could not
    // run or was closed without a choice ("Fermer").
    bool selectionUtilisateur();

    // Folder and name of the user program (overridable for tests).
    QString programmeUtilisateur() const;

private:
    Identity& identity_;
    const Lifecycle& lifecycle_;
    IniAccess& ini_;
    Configuration& config_;
    Systeme& systeme_;
    Host& host_;
    Clock& clock_;
    std::optional<bool> obligatoire_;
};

} // namespace nvx
