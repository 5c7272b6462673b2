#pragma once

#include "common/Reporter.h"

#include <QString>

#include <exception>
#include <new>
#include <source_location>

namespace nvx {

// A failure raised inside a procedure, caught by that procedure's trap.
struct VbError : std::exception {
    qint32 number = 0;
    QString description;
    QString source;
    qint32 line = 0;
    const char* what() const noexcept override { return "VbError"; }
};

[[noreturn]] void Raise(qint32 number, const QString& description, const QString& source = {},
                        std::source_location where = std::source_location::current());

// Fills the saved error from an exception and reports it under origine.
void reportException(Reporter& reporter, const QString& origine, std::exception_ptr failure);

// Runs body under a trap: any failure is saved and reported under origine ("Module:Procedure").
// Returns true when body ran to its end.
template <class Body> bool trap(Reporter& reporter, const QString& origine, Body&& body) noexcept
{
    try {
        body();
        return true;
    } catch (...) {
        reportException(reporter, origine, std::current_exception());
        return false;
    }
}

} // namespace nvx
