#pragma once
// Brings a loaded e-filed document into its stored form: annotations parked (optionally) and
// cleared, image rewritten and byte-aligned, cover lines and group texts laid anew, written back.
#include <QVariant>

class QelEzImage;

// True on every normal end (also when all four group texts are empty and nothing was done); an
// empty Variant after a reported error. With parking, each page's annotations are left in
// temp "Quorla.ann<page>" for the caller to load back.
QVariant do_process_efile_annotations(QelEzImage &pageView, QelEzImage &thumbView, bool &parking,
                                      const QVariant &coverSheet);
