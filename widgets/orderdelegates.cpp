#include "orderdelegates.h"

#include "ordertexts.h"

DateFormatDelegate::DateFormatDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

QString DateFormatDelegate::displayText(const QVariant &value, const QLocale &) const
{
    return orderMomentText(value);
}

NumberFormatDelegate::NumberFormatDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

QString NumberFormatDelegate::displayText(const QVariant &value, const QLocale &locale) const
{
    return moneyCellText(value, locale);
}

StatusDelegate::StatusDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

QString StatusDelegate::displayText(const QVariant &value, const QLocale &) const
{
    return orderStatusText(value);
}
