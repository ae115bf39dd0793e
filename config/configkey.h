#pragma once

#include <QtGlobal>

// Key of every FieldCipher that reads or writes config.conf; files written by
// earlier installations only decipher with this exact value.
constexpr quint64 configCipherKey = 731629;
