#pragma once

#include <QSet>
#include <QStyledItemDelegate>

// Text of the order list's cells: the model keeps the raw database values.

// Seconds since the Unix epoch, shown in local time as "dd/MM/yy hh:mm".
class DateFormatDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit DateFormatDelegate(QObject *parent = nullptr);
    QString displayText(const QVariant &value, const QLocale &locale) const override;
};

// Money with two decimals in the view's locale, right-justified to 10 characters.
class NumberFormatDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit NumberFormatDelegate(QObject *parent = nullptr);
    QString displayText(const QVariant &value, const QLocale &locale) const override;
};

// The word for an order status code; orders whose ticket was not printed
// are marked, their order number read from the row's first column.
class StatusDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit StatusDelegate(QObject *parent = nullptr);
    QString displayText(const QVariant &value, const QLocale &locale) const override;
    void setUnprinted(const QSet<int> &orders) { unprinted = orders; }
    // The cell's text as drawn.
    QString shownText(const QModelIndex &index) const;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    QSet<int> unprinted;
};
