#pragma once

#include <QString>

namespace nvx {

class Reporter;
class Systeme;

// Reading and writing of the suite's INI files. File names are in the suite's form.
class IniAccess {
public:
    IniAccess(Reporter& reporter, Systeme& systeme);

    // The value, cut at 254 characters; the default for an invalid file name or a missing
    // file, section or key. Never fails.
    QString LectureIni(const QString& fichier, const QString& section, const QString& cle,
                       const QString& defaut = {}) const;
    // False, without writing, for a blank section or key or an invalid file name. A failed
    // write creates the folder and tries again, then clears the read-only flag and tries a
    // last time.
    bool EcritureIni(const QString& fichier, const QString& section, const QString& cle,
                     const QString& valeur);

private:
    Reporter& reporter_;
    Systeme& systeme_;
};

} // namespace nvx
