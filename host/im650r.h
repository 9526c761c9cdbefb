#pragma once
// Image-master call: the lookup of a document's image ("A", "N", "P"), the registration of a
// stored image ("S") and the workstation's sign-off ("9").
#include <QString>

class AdoConnection;

bool IM650R(AdoConnection &conn, const QString &func, const QString &fileName, const QString &fileSize,
            const QString &pageCount);

// The sign-off at shutdown: opens a connection with the given text, user and password and sends
// "9". Raises when the connection cannot be opened.
void signOffHost(const QString &connection, const QString &user, const QString &password);
