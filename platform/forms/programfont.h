#pragma once
// The font every form is laid out for: the design's 8-point sans serif, as the shipped
// Liberation Sans. Set for the whole application before any form is built, in the program and
// in the tests alike, so texts measure the same offscreen and on a real display.
#include <QApplication>
#include <QFont>

inline void applyProgramFont()
{
    QApplication::setFont(QFont(QStringLiteral("Liberation Sans"), 8));
}
