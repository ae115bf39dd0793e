#pragma once

#include <QLoggingCategory>

// The broker lines of the console's log; QT_LOGGING_RULES="trovanta.broker.debug=false" quiets them.
Q_DECLARE_LOGGING_CATEGORY(lcBroker)
