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

QString StatusDelegate::shownText(const QModelIndex &index) const
{
    QStyleOptionViewItem option;
    initStyleOption(&option, index);
    return option.text;
}

void StatusDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (!unprinted.contains(index.siblingAtColumn(0).data().toInt()))
        return;
    option->text += QStringLiteral(" - NÃO IMPRESSO");
    option->backgroundBrush = QColor(255, 170, 170);
}
