#include "brokerlog.h"

Q_LOGGING_CATEGORY(lcBroker, "trovanta.broker")
