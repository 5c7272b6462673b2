#pragma once

#include <QtGlobal>

namespace nvx {

// The mix points of one song as the schedule file carries them: positions and durations in
// milliseconds, and the level in the marker's level units divided by 100. Everything starts at
// 0 for each row.
struct MixPoints {
    qint32 fadeinpos = 0;
    qint32 fadeindur = 0;
    qint32 intropos = 0;
    qint32 fadeoutpos = 0;
    qint32 fadeoutdur = 0;
    qint32 startnextpos = 0;
    float level = 0.0f;
};

} // namespace nvx
