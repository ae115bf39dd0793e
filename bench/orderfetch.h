#pragma once

#include <QString>
#include <QStringList>
#include <QVariantMap>

// The yardstick of orderbench: the same statements on libmariadb alone, in
// this process. Each run opens a new connection, prepares and runs every
// statement with the values bound by name and fetches every row as text.

struct FetchTarget
{
    QString host, user, password, database;
    unsigned port = 0;
};

// The median of the runs in milliseconds, or -1 with *error saying why.
// *rows: the rows of one run.
double fetchMedianMs(const FetchTarget &target, const QStringList &statements, const QVariantMap &ints, int runs,
                     int *rows, QString *error);
