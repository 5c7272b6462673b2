#include "app/Usage.h"

namespace nvx {

QString usageText()
{
    return QStringLiteral(
        "Usage: vl3-tools-nvx [options] [/Instance=N] [/Wait=MS] [/IP=ADDRESS] [/Veille=True]\n"
        "\n"
        "Bridges the music scheduler to the voice-tracking platform.\n"
        "\n"
        "Options:\n"
        "  --version   print the version (year.MMDD.HHMM) and exit\n"
        "  --help      print this help and exit\n");
}

} // namespace nvx
