#include "consoleoptions.h"

#include <QFileInfo>
#include <QSettings>
#include <QStringList>

namespace {

const QString autoApprovalKey = QStringLiteral("aprovacao_automatica");
const QString unprintedKey = QStringLiteral("pedidos_nao_impressos");

bool write(const QString &path, const QString &key, const QVariant &value)
{
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(key, value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace

ConsoleOptions::ConsoleOptions(const QString &path)
    : path(QFileInfo(path).absoluteFilePath())
{
}

bool ConsoleOptions::autoApproval() const
{
    return QSettings(path, QSettings::IniFormat).value(autoApprovalKey, false).toBool();
}

bool ConsoleOptions::setAutoApproval(bool on)
{
    return write(path, autoApprovalKey, on);
}

QSet<int> ConsoleOptions::unprinted() const
{
    QSet<int> orders;
    const QStringList numbers = QSettings(path, QSettings::IniFormat).value(unprintedKey).toStringList();
    for (const QString &number : numbers) {
        bool ok = false;
        const int order = number.toInt(&ok);
        if (ok && order > 0)
            orders.insert(order);
    }
    return orders;
}

bool ConsoleOptions::setUnprinted(const QSet<int> &orders)
{
    QStringList numbers;
    for (int order : orders)
        numbers << QString::number(order);
    numbers.sort();
    return write(path, unprintedKey, numbers);
}
