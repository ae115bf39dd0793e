#pragma once

#include <QSet>
#include <QString>

// Beside config.conf, which keeps its twelve lines for every tool that reads it.
constexpr char consoleOptionsFileName[] = "console.ini";

// What this console alone is set to do, and what it must not forget across a
// restart. A missing or unreadable file reads as the defaults: all off.
class ConsoleOptions
{
public:
    // A relative path is taken from the working directory of now.
    explicit ConsoleOptions(const QString &path = QString::fromLatin1(consoleOptionsFileName));

    // New orders approved and printed without the operator.
    bool autoApproval() const;
    bool setAutoApproval(bool on);
    // Orders approved by this console whose ticket has not reached a printer yet.
    QSet<int> unprinted() const;
    bool setUnprinted(const QSet<int> &orders);

private:
    QString path;
};
