#pragma once

#include <QBuffer>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextDocument>
#include <fuzzer/FuzzedDataProvider.h>

// A broken property aborts, so libFuzzer keeps the input that broke it.
#define FUZZ_CHECK(cond) ((cond) ? void() : (fprintf(stderr, "property broken: %s\n", #cond), abort()))

// Each target's body: the input whole, and as typed values.
void fuzzOne(const QByteArray &, FuzzedDataProvider &);

inline QString fuzzText(FuzzedDataProvider &in, size_t max = 64)
{
    return QString::fromStdString(in.ConsumeRandomLengthString(max));
}

// Offscreen, as the tests run; warnings of refused input would only slow the runs.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    new QGuiApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    fuzzOne(QByteArray(reinterpret_cast<const char *>(data), int(size)), in);
    return 0;
}
