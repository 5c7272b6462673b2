#include "config/Ini.h"

#include "common/IniFile.h"
#include "common/NativePath.h"
#include "common/PathText.h"
#include "system/Systeme.h"

namespace nvx {

IniAccess::IniAccess(Reporter& reporter, Systeme& systeme) : reporter_(reporter), systeme_(systeme) {}

QString IniAccess::LectureIni(const QString& fichier, const QString& section, const QString& cle,
                              const QString& defaut) const
{
    if (!NomFichierCorrect(fichier) || fichier.trimmed().isEmpty())
        return defaut;
    return IniFile::read(NativePath(fichier), section, cle, defaut);
}

bool IniAccess::EcritureIni(const QString& fichier, const QString& section, const QString& cle,
                            const QString& valeur)
{
    if (section.trimmed().isEmpty() || cle.trimmed().isEmpty() || !NomFichierCorrect(fichier) ||
        fichier.trimmed().isEmpty())
        return false;
    if (IniFile::write(NativePath(fichier), section, cle, valeur))
        return true;
    const qsizetype slash = fichier.lastIndexOf(u'\\');
    if (slash > 0)
        systeme_.VerificationEtCreationRepertoire(fichier.left(slash + 1), true);
    if (IniFile::write(NativePath(fichier), section, cle, valeur))
        return true;
    systeme_.File_RemoveFlag(fichier);
    return IniFile::write(NativePath(fichier), section, cle, valeur);
}

} // namespace nvx
