#pragma once
// The book and page imprint tag and the per-page imprint state.
#include <QList>
#include <QString>
#include <QVariant>
#include <utility>

// User-storage key of an imprint item; its value is 1.
inline const QString IMPRINT_TAG_KEY = QStringLiteral("BookPageImprintAnnotation");

// One entry per page in page order, keyed by the page number in decimal digits: 1 for a page that
// already carries an imprint, 0 for one that may get one.
using ImprintStates = QList<std::pair<QString, QVariant>>;
