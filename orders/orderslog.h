#pragma once

#include <QLoggingCategory>

// The orders lines of the console's log; QT_LOGGING_RULES="trovanta.orders.debug=false" quiets them.
Q_DECLARE_LOGGING_CATEGORY(lcOrders)
