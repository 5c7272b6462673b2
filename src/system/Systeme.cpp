#include "system/Systeme.h"

#include "common/Clock.h"
#include "common/Host.h"
#include "common/Identity.h"
#include "common/Lifecycle.h"
#include "common/Reporter.h"
#include "system/ShellExecute.h"

namespace nvx {

Systeme::Systeme(Reporter& reporter, Clock& clock, Host& host, Identity& identity, const Lifecycle& lifecycle)
    : shell([](const QString& verb, const QString& file, const QString& parameters, const QString& directory,
               int) { return shellExecuteNative(verb, file, parameters, directory); }),
      reporter_(reporter), clock_(clock), host_(host), identity_(identity), lifecycle_(lifecycle)
{
}

} // namespace nvx
