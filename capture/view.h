#pragma once
// The document view: fetches the stored image of the current document from the host share and
// shows it in the main window.
#include <QString>

struct VbError;

class AdoConnection;

// Operator notes shown in fraNonTiff.
inline const QString NOTE_NOT_BYTE_ALIGNED = QStringLiteral(
    "NOTE: THIS IMAGE IS NOT BYTE-ALIGNED AND WILL NOT PRINT.  TO BYTE-ALIGN THIS IMAGE PRESS THE "
    "\"STORE\" BUTTON");
inline const QString NOTE_NOT_TIFF = QStringLiteral(
    "NOTE: THIS IS NOT A TIFF IMAGE.  MODIFICATIONS OF NON-TIFF IMAGES ARE NOT POSSIBLE.  TO "
    "CONVERT TO TIFF PRESS THE \"STORE\" BUTTON");

// Fetches and shows the current document; True when it is shown, False on every failure.
// conn is the lookup's open connection (closed here on a missing file or failed resize).
bool do_view(AdoConnection &conn, const QString &hostName);

// The share path of a stored image from IM091R's folder, sub-directory and image id (as
// returned; the folder and sub-directory are trimmed where the path needs them).
QString storedImagePath(const QString &hostName, const QString &flNm, const QString &sbDr,
                        const QString &imid);

// True when the file's first line starts with "II" or "MM".
bool isTiffFile(const QString &path);

// The operator's words for a stored image that does not decode: "Page N of this document is
// damaged", the page taken from the error where it names one.
QString damagedPageText(const VbError &e);
