#include "consolelog.h"

Q_LOGGING_CATEGORY(lcConsole, "trovanta.console")
