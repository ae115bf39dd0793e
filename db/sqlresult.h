#pragma once

#include <QString>
#include <QVariant>
#include <QVector>

// The rows of an executed statement, each value read once.
struct SqlRows
{
    int columns = 0;
    QVector<QVector<QVariant>> values;
};

// What a statement gave: its rows, or why it did not run ("errorString" style).
struct SqlResult : SqlRows
{
    QString error;            // empty: executed
    int rowsAffected = -1;    // of an update, insert or delete
    QVariant lastInsertId;    // of an insert, when the driver gives one

    bool ok() const { return error.isEmpty(); }
};
