#pragma once

#include <QLoggingCategory>

// The database lines of the console's log.
Q_DECLARE_LOGGING_CATEGORY(lcDatabase)
