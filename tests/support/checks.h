#pragma once
// Small helpers shared by the tests: readable QString values in failure messages, and the error a
// call raises.
#include <QString>

#include <functional>
#include <ostream>

#include "platform/vb/vberror.h"

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

// The VbError f raises (number 0 when it raises none).
inline VbError raisedBy(const std::function<void()> &f)
{
    try {
        f();
    } catch (const VbError &e) {
        return e;
    }
    return VbError{};
}

// The number of the VbError f raises (0 when it raises none).
inline int errorOf(const std::function<void()> &f) { return raisedBy(f).number; }

// The description of the VbError f raises ("" when it raises none).
inline QString errorTextOf(const std::function<void()> &f) { return raisedBy(f).description; }
