#pragma once
// Working files, the temp folder, short paths and the small number/text conversions.
#include <QString>
#include <functional>

// Deletes g_strTempPath + name when it exists; g_intOldDocLength becomes 0 in any case.
void DeleteTempFile(const QString &name);
// Deletes the file when it exists.
void DeleteFile(const QString &path);
// Copies source to destination, overwriting it; a missing source is reported as error 53.
// A copy onto itself does nothing; a failed copy leaves the old destination as it was.
void CopyFile(const QString &source, const QString &destination);

enum class CopyMode { Replace, CreateNew };
// Copies source into a temporary file beside destination, flushes it to disk and only then
// renames it to destination, so destination is never seen half-written. Replace swaps an
// existing destination in one step (a copy onto itself does nothing); CreateNew returns false,
// leaving everything as it was, when destination exists already. A failure raises VbError (61
// disk full, 70 permission denied, 76 path not found, 57 otherwise) and leaves no file behind.
bool copyIntoPlace(const QString &source, const QString &destination, CopyMode mode);
// The first half of a Replace: source copied into a new temporary file beside destination,
// flushed; returns that file's path, for moveIntoPlace once the copy may take its place. Raises
// as copyIntoPlace, leaving no file behind.
QString copyBeside(const QString &source, const QString &destination);
// Renames from over destination in one step; raises as copyIntoPlace.
void moveIntoPlace(const QString &from, const QString &destination);

// The private per-user temp folder, ending in "/" (raises when none can be had).
QString getTempPath();
// The path when it exists, else "".
QString GetShrtPath(const QString &path);

// Decimal text of value with "0" put in front up to width characters (a minus sign counts).
QString padZeros(qint32 value, qint16 width);
// Numeric text → the floor of its value, zero-filled to width; true. Not numeric: false and the
// text unchanged. A value beyond 32 bits raises overflow (6) with the text unchanged.
bool padNumericField(QString &text, qint16 width);

// Trim measure between units (0 inches, 1 millimetres, 2 pixels); "" on any failure. Pixels use
// the page tree's resolution in pixels per inch.
QString convertTrimUnits(const QString &value, qint32 target, qint32 source);
QString convertTrimUnits(const QString &value, qint32 target, qint32 source,
                         const std::function<qint16()> &resolution);

// The text as a 16-bit integer (half to even); 0 when it does not convert.
qint16 safeCInt(const QString &text);
