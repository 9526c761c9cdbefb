#pragma once
// Stored-image location: where the host keeps the image of an image id.
#include <QString>

class AdoConnection;

// The answer of IM091R, each value as returned (blank-padded, not trimmed).
struct IM091RAnswer {
    QString imid;
    QString flNm;
    QString sbDr;
    QString mbrNm;
    QString errMsg;
};

// Calls IM091R with function code "V" and the image id over the open connection. Raises
// VbError when the call itself fails.
IM091RAnswer IM091R(AdoConnection &conn, const QString &imid);
