#include "system/Systeme.h"

#include "common/AppFlags.h"
#include "common/Clock.h"
#include "common/Host.h"
#include "common/Reporter.h"

namespace nvx {

Systeme::Systeme(Reporter& reporter, Clock& clock, Host& host, AppFlags& flags)
    : reporter_(reporter), clock_(clock), host_(host), flags_(flags)
{
}

} // namespace nvx
