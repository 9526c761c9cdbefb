#include "platform/vb/vberror.h"

// Standard descriptions of the runtime errors the layers raise.
static QString describe(int number)
{
    switch (number) {
    case 5: return QStringLiteral("Invalid procedure call or argument");
    case 6: return QStringLiteral("Overflow");
    case 7: return QStringLiteral("Out of memory");
    case 9: return QStringLiteral("Subscript out of range");
    case 11: return QStringLiteral("Division by zero");
    case 13: return QStringLiteral("Type mismatch");
    case 52: return QStringLiteral("Bad file name or number");
    case 53: return QStringLiteral("File not found");
    case 55: return QStringLiteral("File already open");
    case 57: return QStringLiteral("Device I/O error");
    case 58: return QStringLiteral("File already exists");
    case 61: return QStringLiteral("Disk full");
    case 62: return QStringLiteral("Input past end of file");
    case 70: return QStringLiteral("Permission denied");
    case 75: return QStringLiteral("Path/File access error");
    case 76: return QStringLiteral("Path not found");
    case 91: return QStringLiteral("Object variable or With block variable not set");
    case 94: return QStringLiteral("Invalid use of Null");
    case 3265: return QStringLiteral("Item cannot be found in the collection corresponding to the requested name or ordinal.");
    default: return QStringLiteral("Application-defined or object-defined error");
    }
}

VbError vbError(int number) { return VbError(number, describe(number)); }
void raiseVbError(int number) { throw vbError(number); }
void raiseVbError(int number, const QString &description) { throw VbError(number, description); }
