#include "common/ErrorTrap.h"

#include <stdexcept>

namespace nvx {

void Raise(qint32 number, const QString& description, const QString& source, std::source_location where)
{
    VbError e;
    e.number = number;
    e.description = description;
    e.source = source;
    e.line = qint32(where.line());
    throw e;
}

void reportException(Reporter& reporter, const QString& origine, std::exception_ptr failure)
{
    SavedError& saved = reporter.erreur;
    saved = SavedError{};
    try {
        std::rethrow_exception(failure);
    } catch (const VbError& e) {
        saved.ErreurNumero = e.number;
        saved.ErreurLigne = e.line;
        saved.ErreurDescription = e.description;
        saved.ErreurSource = e.source;
    } catch (const std::bad_alloc&) {
        saved.ErreurNumero = 7;
        saved.ErreurDescription = QStringLiteral("Out of memory");
    } catch (const std::out_of_range& e) {
        saved.ErreurNumero = 9;
        saved.ErreurDescription = QStringLiteral("Subscript out of range: ") + QString::fromUtf8(e.what());
    } catch (const std::exception& e) {
        saved.ErreurNumero = 5;
        saved.ErreurDescription = QString::fromUtf8(e.what());
    } catch (...) {
        saved.ErreurNumero = 51;
        saved.ErreurDescription = QStringLiteral("Internal error");
    }
    try {
        reporter.GestionDesErreurs(origine);
    } catch (...) {
        // The error report never fails its caller.
    }
}

} // namespace nvx
