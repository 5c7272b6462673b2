#pragma once

#include <QString>

namespace nvx {

// How values are put into the schedule file's elements. The file is UTF-8 throughout; the
// texts here are plain Unicode and become UTF-8 when the document is written. Both text forms
// escape what XML reserves and write a blank for each character XML 1.0 does not allow.

// A value as stored (id, key, GUID, time, number), otherwise unchanged.
QString TexteXml(const QString& valeur);
// A label shown to people: its ampersands are spelt " et ", as the suite always did for the
// platform, and what XML reserves is escaped.
QString LibelleXml(const QString& libelle);
// A level in its shortest decimal form with the system's decimal separator; whole values
// without decimals.
QString NiveauXml(float level);

} // namespace nvx
