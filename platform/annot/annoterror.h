#pragma once
#include <QString>

#include "platform/vb/vberror.h"

// Errors of the annotation layer: one table of numbers and descriptions (annoterror.cpp).
namespace annotErr {
constexpr int BadData = 31001;    // "Invalid annotation data"
constexpr int TooLarge = 31002;   // "Annotation data is too large"
constexpr int BadVersion = 31003; // "Unsupported annotation data version"
constexpr int BadValue = 31004;   // "Invalid annotation property value"
}

QString annotErrorText(int number);
// Raises the error; a non-empty detail is appended to the description after ": ".
[[noreturn]] void raiseAnnotError(int number, const QString &detail = QString());
