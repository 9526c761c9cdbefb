#include "host/hostservices.h"

#include "core/startup.h"
#include "host/im650r.h"
#include "host/partners.h"
#include "host/signon.h"
#include "ui/frmConfig.h"
#include "ui/frmLogin.h"

void registerHostServices()
{
    CoreHooks &hooks = coreHooks();
    hooks.getEfilePartners = [](qint16 state) { do_getEfilePartners(state); };
    hooks.signOff = signOffHost;
    setSignOnCheck(SY983R);
    setPartnerReload([](qint16 state) { do_getEfilePartners(state); });
}
