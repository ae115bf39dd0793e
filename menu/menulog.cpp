#include "menulog.h"

Q_LOGGING_CATEGORY(lcMenu, "trovanta.menu")
