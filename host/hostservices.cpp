#include "host/hostservices.h"

#include "core/startup.h"
#include "host/im650r.h"
#include "host/partners.h"

void registerHostServices()
{
    CoreHooks &hooks = coreHooks();
    hooks.getEfilePartners = [](qint16 state) { do_getEfilePartners(state); };
    hooks.signOff = signOffHost;
}
