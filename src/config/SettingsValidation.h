#pragma once

#include "config/SettingsValues.h"

#include <QList>
#include <QString>

namespace nvx {

// A value the settings window must not store, said in French next to its field.
struct FieldError {
    enum class Group { General, Network, Ftp };
    Group group = Group::General;
    QString field; // the field's name, with its row: "Reception[2].Port", "Plateforme.URL"
    QString message;
    bool operator==(const FieldError&) const = default;
};

// An IPv4 address in dotted form, or a host name.
bool adresseValide(const QString& adresse);
// A port number from 1 to 65535.
bool portValide(const QString& port);
// A sender a reception endpoint takes requests from: an IPv4 address, or a network a.b.c.d/n.
bool expediteurValide(const QString& entree);

// What the values hold that cannot be stored: addresses that are neither IPv4 nor host names,
// ports outside 1..65535, a platform address that is not http(s), an endpoint switched on
// without its address or port. Blank fields of unused rows are left alone. Folders are checked
// where they can be created.
QList<FieldError> settingsErrors(const SettingsValues& values);

} // namespace nvx
