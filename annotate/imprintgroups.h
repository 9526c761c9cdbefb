#pragma once
// The host's four group texts and the per-page imprints of an e-filed document, drawn onto the
// main window's page view.
#include <QVariant>

#include "annotate/imprintstate.h"

// Draws every group with text at its laid-out rectangle, then (when group 1 has text and the
// document more than one page) an imprint on every later page whose state entry is 0. Errors
// are reported; texts already added stay. Always an empty Variant.
QVariant do_apply_annotations_electronic(ImprintStates &states);
