#pragma once

#include <QString>

// The service stores account passwords as the MD5 of their UTF-8 bytes, in
// 32 lower-case hexadecimal digits, without salt.
QString passwordDigest(const QString &password);
