#pragma once
#include <QString>

#include "platform/vb/vberror.h"

// Errors of the imaging controls: one table of numbers and descriptions (imagingerror.cpp).
namespace ezErr {
constexpr int NoImage = 30001;          // "No image is loaded"
constexpr int InvalidPage = 30002;      // "Invalid page number"
constexpr int FileNotFound = 30003;     // "File not found"
constexpr int BadImageFile = 30004;     // "Invalid or corrupt image file"
constexpr int WriteFailed = 30005;      // "Unable to write the image file"
constexpr int NoSaveFileName = 30006;   // "No save file name has been set"
constexpr int EmptyDocument = 30007;    // "There are no pages to save"
constexpr int BadPageList = 30008;      // "Invalid page list"
constexpr int BadValue = 30009;         // "Invalid property value"
constexpr int BadAnnotationData = 30010; // "Invalid annotation data"
constexpr int BadHandle = 30011;        // "Invalid image handle"
constexpr int PrintFailed = 30012;      // "Printing failed"
constexpr int ImageTooLarge = 30013;    // "The image is too large"
constexpr int BadIndex = 30014;         // "Index out of range"
}

QString imagingErrorText(int number);
[[noreturn]] void raiseImagingError(int number, const QString &detail = QString());
