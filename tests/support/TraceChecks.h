#pragma once

#include "system/Trace.h"

#include <QObject>
#include <QString>

#include <gtest/gtest.h>

namespace nvx::test {

// How many lines of the trace still in memory (before the settings, then waiting for the file)
// hold the fragment.
inline qsizetype traced(const Trace& trace, const QString& fragment)
{
    return (trace.ListeBis + trace.ListeLog).filter(fragment).size();
}

// A trapped error that the test did not ask for (expected stays false) fails the test that
// caused it.
inline void failOnUnexpectedErrors(Trace& trace, const bool& expected)
{
    QObject::connect(&trace, &Trace::errorReported,
                     [&expected](const QString& origine, qint32 numero, const QString& description) {
                         if (!expected)
                             ADD_FAILURE() << "unexpected error " << numero << " in " << origine.toStdString()
                                           << ": " << description.toStdString();
                     });
}

} // namespace nvx::test
