#pragma once

#include <QGuiApplication>
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>

// A broken property aborts, so libFuzzer keeps the input that broke it.
#define FUZZ_CHECK(cond) \
    ((cond) ? void() : (std::fprintf(stderr, "property broken: %s\n", #cond), std::abort()))

inline QByteArray fuzzBytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), int(size));
}

inline QString fuzzText(FuzzedDataProvider &in, size_t max = 64)
{
    return QString::fromUtf8(QByteArray::fromStdString(in.ConsumeRandomLengthString(max)));
}

// Offscreen, as the tests run; warnings of refused input would only slow the runs.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    new QGuiApplication(*argc, *argv);
    return 0;
}
