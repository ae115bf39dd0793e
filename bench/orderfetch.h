#pragma once

#include <QString>
#include <QStringList>
#include <QVariantMap>

// The yardstick of the database benchmarks: the console's own statements on
// libmariadb alone, in this process. A run prepares and runs every statement
// with the values bound by name and fetches every row as text.

struct FetchTarget
{
    QString host, user, password, database;
    unsigned port = 0;
};

// The median of the runs in milliseconds, or -1 with *error saying why;
// each run on a new connection. *rows: the rows of one run.
double fetchMedianMs(const FetchTarget &target, const QStringList &statements, const QVariantMap &ints, int runs,
                     int *rows, QString *error);

// One connection kept open, as the console's runners keep theirs.
class FetchClient
{
public:
    explicit FetchClient(const FetchTarget &target);
    ~FetchClient();
    FetchClient(const FetchClient &) = delete;
    FetchClient &operator=(const FetchClient &) = delete;

    // Why the connection failed, or empty.
    QString error() const { return connectError; }
    // One run in milliseconds, or -1 with *error saying why.
    double runMs(const QStringList &statements, const QVariantMap &ints, int *rows, QString *error);

private:
    struct st_mysql *db = nullptr;
    QString connectError;
};
