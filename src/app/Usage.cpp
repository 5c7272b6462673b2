#include "app/Usage.h"

namespace nvx {

QString usageText()
{
    return QStringLiteral(
        "Usage: vl3-tools-nvx [options] [/Instance=N] [/Wait=MS] [/IP=ADDRESS] [/Veille=True]\n"
        "\n"
        "Bridges the music scheduler to the voice-tracking platform. Its windows show when a\n"
        "display is there (DISPLAY or WAYLAND_DISPLAY); otherwise, or with --headless, it runs\n"
        "without windows.\n"
        "\n"
        "Options:\n"
        "  --headless         run without windows: progress on stdout, incidents on stderr;\n"
        "                     SIGINT or SIGTERM quits cleanly\n"
        "  --home DIR         application folder (default: $VL3_HOME, else the executable's\n"
        "                     folder when it holds a Settings folder, else\n"
        "                     ~/.local/share/velmora)\n"
        "  --drive-root DIR   folder that holds the drives of the suite's paths (C: is DIR/c;\n"
        "                     default: $VL3_DRIVE_ROOT, else ~/.local/share/velmora/drives)\n"
        "  --btrieve-library PATH  use this record engine library (its BTRCALL) instead of the\n"
        "                     embedded engine (default: $VL3_BTRIEVE_LIBRARY, else embedded)\n"
        "  --job TEXT         start, run this scheduler request (\"<NoStation:1><HHDeb:07>...\"),\n"
        "                     then shut down\n"
        "  --test-mail        start, send the test mail to the configured recipients, then\n"
        "                     shut down (exit 0 when the mail server accepted it)\n"
        "  --test-ftp N       start, connect with FTP account N (0..19) of the settings, list\n"
        "                     its folder (permissions, size, date, owner, group, name), then\n"
        "                     shut down (exit 0 when connected and listed)\n"
        "  --status [--json]  say what the running instance (of /Instance=N) last did, for a\n"
        "                     person or as JSON; exit 0 when every last job sent all its\n"
        "                     hours, 1 when some hours wait, 2 when the instance does not run\n"
        "  --version          print the version (year.MMDD.HHMM) and exit\n"
        "  --help             print this help and exit\n"
        "\n"
        "Switches of the suite, anywhere on the line and in any case:\n"
        "  /Instance=N or /I=N   settings of instance N (1..10)\n"
        "  /Wait=MS              pause before starting\n"
        "  /IP=ADDRESS           target address, traced\n"
        "  /Veille=True          go to standby once started\n"
        "\n"
        "Exit status:\n"
        "  0  quit asked (SIGINT, SIGTERM, SIGHUP); with --job: every hour the platform could\n"
        "     take was sent\n"
        "  1  the start-up stopped (another copy runs, the site or its data folder is missing,\n"
        "     the only reception endpoint cannot listen, the user is refused); with\n"
        "     --test-mail or --test-ftp: the test failed (the reason on stderr)\n"
        "  2  a usage error; with --job: the job ended with the authentication problem\n"
        "  3  with --job: the request was refused, or some hour was not written or not sent\n");
}

} // namespace nvx
