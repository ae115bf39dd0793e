#pragma once

#include <QMutex>
#include <QStringList>

// Collects the debug log, from any thread, since it was made; every line still
// goes on to the handler that was there before.
class DebugCapture
{
public:
    DebugCapture()
    {
        QMutexLocker lock(&mutex);
        captured.clear();
        // Installed once for good: workers may still log after a test is done.
        if (!previous) {
            previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
                QMutexLocker lock(&mutex);
                captured.append(text);
                previous(type, context, text);
            });
        }
    }
    QStringList lines() const
    {
        QMutexLocker lock(&mutex);
        return captured;
    }
    int count(const QString &part) const { return lines().filter(part).size(); }

private:
    static inline QMutex mutex;
    static inline QStringList captured;
    static inline QtMessageHandler previous = nullptr;
};
