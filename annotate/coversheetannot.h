#pragma once
// The host's cover-page lines onto page 1 of a cover sheet.
#include <QVariant>

class QelEzImage;

// Draws each of the thirty lines with text and a code of 1 or more on page 1, the code giving
// its row. Errors are reported; lines already added stay. Always an empty Variant.
QVariant do_apply_annotations_electronic_coversheet(QelEzImage &control);
