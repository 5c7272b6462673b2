#pragma once

#include <QString>

namespace nvx {

// Paths in the suite's Windows form, as text: nothing here touches the disk.

// The three parts of a path.
struct EclatementChemin {
    QString RepEclate; // folder, ending with "\" when the path has one
    QString FicEclate; // name without extension
    QString ExtEclate; // extension including its dot
};
EclatementChemin EclateRepFicExt(const QString& path);
// Folder with exactly one trailing "\" (empty stays empty).
QString CheckRep(const QString& folder);
// Path with the characters that no folder name may hold removed.
QString NettoieNomDeDossier(const QString& path);
// False when the name holds "*", "?", a double quote or "|".
bool NomFichierCorrect(const QString& name);
// Folder-kind number of a three-letter code ("JIN" 1 ... "TMP" 12), 0 otherwise.
qint16 SerieDeRepertoire(const QString& code);

} // namespace nvx
