#include "platform/HourStates.h"

#include "common/TextHelpers.h"

#include <cmath>

namespace nvx {

std::array<qint16, 24> DecodeStatutsHeures(const QString& etats, int premiere, int derniere)
{
    std::array<qint16, 24> statuts{};
    statuts.fill(-1);
    for (int heure = 0; heure < 24; ++heure) {
        if (heure < premiere || heure > derniere)
            continue;
        // Halves go to the even neighbour, as in the other number conversions of the program.
        const double valeur = std::nearbyint(vbVal(etats.mid(3 * heure, 3)));
        statuts[std::size_t(heure)] = valeur >= 0 && valeur <= 4 ? qint16(valeur) : qint16(0);
    }
    return statuts;
}

} // namespace nvx
