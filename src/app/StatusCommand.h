#pragma once

#include <QString>

class QTextStream;

namespace nvx {

// The monitoring check: says what the running instance of the application folder (native
// form) last did, for a person or as JSON. Exit status: 0 when every last job sent all its
// hours, 1 when some hours wait, 2 when the instance does not run.
int runStatusCommand(const QString& applicationFolder, int instance, bool json, QTextStream& out);

} // namespace nvx
