#pragma once
#include <QByteArray>

// The pages one store of the two-station test writes: a text naming the station and the store,
// repeated (each store a different size).
inline QByteArray stationPages(int station, int store)
{
    return (QByteArray("station ") + QByteArray::number(station) + " store " + QByteArray::number(store) + '\n')
        .repeated(200 + store);
}
