#pragma once
#include <QString>

// The records host's two-letter code of a database mode; "" for a mode without one.
QString do_find_dbname(const qint16 &mode);
