#include "dblog.h"

Q_LOGGING_CATEGORY(lcDatabase, "trovanta.database")
