#pragma once

#include "sqlresult.h"

#include <QString>

struct ConfigValues;

// The service stores account passwords as the MD5 of their UTF-8 bytes, in
// 32 lower-case hexadecimal digits, without salt.
QString passwordDigest(const QString &password);

// Puts the database settings and printers of config.conf where every
// connection and print job reads them.
void useConfig(const ConfigValues &values);

#include <QVariantMap>

// The login's statement: the store owned by the account (owner level 2).
extern const QString ownerStoreStatement;
QVariantMap ownerStoreBindings(const QString &login, const QString &password);

// The store owned by the account, or 0, read on this thread: for callers that
// wait. *failed (when given) tells whether the statement could not run: the
// account was not even looked at.
int storeOfOwner(const QString &login, const QString &password, bool *failed = nullptr);
// The store the login's rows name, or 0; says which in the log.
int storeOfRows(const SqlResult &rows);
