#include "orderslog.h"

Q_LOGGING_CATEGORY(lcOrders, "trovanta.orders")
