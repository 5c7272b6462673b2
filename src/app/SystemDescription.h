#pragma once

#include <QString>

namespace nvx {

class Systeme;

// What the About window tells about the machine the program runs on.
struct SystemFacts {
    QString os;
    QString kernelType;
    QString kernelVersion;
    qint64 memoryUsedBytes = 0;
    QString qtVersion;
    QString curlVersion;
};

// The facts of this machine and process, as the system helpers and the libraries report them.
SystemFacts currentSystemFacts(const Systeme& systeme);

// The description shown to the person, one fact per line; when the operating system cannot be
// named, the notice that the information is not available.
QString systemDescription(const SystemFacts& facts);

} // namespace nvx
