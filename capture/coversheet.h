#pragma once
// The cover sheet put in front of an e-filed document while it is viewed.
#include <QString>
#include <QVariant>

class QelEzImage;

// Joins the host's cover template (byte-aligned, with the cover lines as text annotations) in
// front of the document at documentPath when the host asks for one. True when finished (with
// or without a cover sheet), an empty result when the template is missing, False after a
// reported failure.
QVariant do_cover_sheet(QelEzImage &control, const QString &documentPath);
