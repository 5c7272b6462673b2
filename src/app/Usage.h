#pragma once

#include <QString>

namespace nvx {

// The text printed by --help.
QString usageText();

} // namespace nvx
