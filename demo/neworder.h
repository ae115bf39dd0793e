#pragma once

#include <QSqlDatabase>
#include <QString>

// Inserts an order as a customer of the online service would leave it: status
// 0, moment now, one or two lines from the store's menu when it has one.
// Returns the new order number, or 0 with *error set.
int insertNewOrder(const QSqlDatabase &db, int store, QString *error);
