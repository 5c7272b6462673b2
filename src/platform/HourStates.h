#pragma once

#include <QString>

#include <array>

namespace nvx {

// The hour states of a day as the platform writes them: three characters per hour, in hour
// order. Each requested hour (premiere..derniere) takes its field's numeric value, rounded;
// a value outside 0..4, a field that is not a number or that lies beyond the text reads 0.
// Hours outside the range stay -1.
std::array<qint16, 24> DecodeStatutsHeures(const QString& etats, int premiere, int derniere);

} // namespace nvx
