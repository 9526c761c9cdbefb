#pragma once
// The e-file partner list from the host table PTC0, into the customer's partner combo box and
// g_EfilePartnerIds.
#include <QVariant>

// False when the operator is not signed on or the read failed; empty otherwise.
QVariant do_getEfilePartners(qint16 state);
