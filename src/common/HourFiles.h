#pragma once

#include <QString>

#include <array>

namespace nvx {

// Path of the XML file written for each hour 0..23 of the current job: the export fills an
// entry, the job driver and the platform steps read it and empty it once the hour is handled.
struct HourFiles {
    std::array<QString, 24> NomFichierXMLHeure;
};

} // namespace nvx
