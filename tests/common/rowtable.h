#pragma once

#include <QtTest>

// A data table from an array of structs: one row per entry, named by its name
// field, with the entry's index as the only column "row".
template<typename Row, size_t count> void addRows(const Row (&rows)[count])
{
    QTest::addColumn<int>("row");
    for (size_t row = 0; row < count; ++row)
        QTest::newRow(rows[row].name) << int(row);
}
