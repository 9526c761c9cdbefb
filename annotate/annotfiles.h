#pragma once
// Annotation clean-up page by page, with each page's set optionally parked in a file of the temp
// folder first so the caller can put it back after rewriting the image.
#include <QString>

#include "annotate/imprintstate.h"

class QelEzImage;
class QWidget;

// Fixed names of the parked annotation-set files; the page number follows in decimal digits.
inline const QString ANN_FILE_STORE = QStringLiteral("Quorla.ann");
inline const QString ANN_FILE_CROP = QStringLiteral("QuorlaCrop.ann");
inline const QString ANN_FILE_ADJ = QStringLiteral("QuorlaAdj.ann");

// g_strTempPath + fixed name + page.
QString annotationSetFile(const QString &fixedName, int page);

// For every page, 1 when it carries an imprint item, else 0. Empty after a reported error.
ImprintStates do_find_bookpage_annotations(QelEzImage &control);

// Removes the items that do not lie inside the control's current region (with a 20 pixel
// allowance) from the given page or all pages; a redaction that reaches into the region is
// clipped to it instead. The four region numbers are not used. The
// redaction form reinstalls its security handlers before and after. False after a reported error.
bool do_delete_annotations_outside_regions(QWidget *redactionForm, QelEzImage &control,
                                           qint32 regionTop, qint32 regionLeft,
                                           qint32 regionBottom, qint32 regionRight, qint16 page,
                                           bool allPages, bool parking);

// Drops the closing character 6 from text items and resizes them. False after a reported error.
bool do_adjust_text_annotations_with_bogus_data(QWidget *mainWindow, QelEzImage &control,
                                                qint16 page, bool allPages, bool parking);

// Burns the redaction items of every page into its pixels and removes them, so the covered
// content is gone from whatever is saved next; the other items stay items. Returns the number
// of pages burned. Raises when the page's security handler keeps a redaction item.
int burnRedactionItems(QelEzImage &control);
