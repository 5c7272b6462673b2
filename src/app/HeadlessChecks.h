#pragma once

class QTextStream;

namespace nvx {

class Application;

// The checks an installer runs from a console once the settings are written: they use the
// settings and the commands of the settings window, and say in their exit status whether the
// account works.

// Connects with FTP account row of the settings, walks to its folder as the tester window does
// and prints one line per entry (permissions, size, date, owner, group, name, tab-separated).
// 0 when connected and the whole folder path was found; 1 otherwise, the reason on err.
int runFtpCheck(Application& application, int row, QTextStream& out, QTextStream& err);

// Sends the settings window's test mail to the configured recipients. 0 when the mail server
// accepted it; 1 otherwise, the reason having been shown (on err for a console).
int runMailCheck(Application& application);

} // namespace nvx
