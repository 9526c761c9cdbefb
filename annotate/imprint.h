#pragma once
// The book and page imprint: every page after the first of a stored paper document gets a text
// naming the book, the page and the document's number, in the top right corner.
#include <QString>

#include "annotate/imprintstate.h"

class QelEzImage;

// The imprint text of one page for the running page number (modes 0 and 4: instrument number;
// mode 5: book code and control number). Pages beyond the allotted ones get the last allotted
// page with a letter "A", "B", ...
QString bookPageImprintText(qint64 runningPage);

// Adds the imprint to every page from 2 whose entry in states (by position) is 0. Errors go to
// the caller.
void addBookPageImprint(QelEzImage &control, const ImprintStates &states);
