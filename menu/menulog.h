#pragma once

#include <QLoggingCategory>

// The menu lines of the console's log; QT_LOGGING_RULES="trovanta.menu.debug=false" quiets them.
Q_DECLARE_LOGGING_CATEGORY(lcMenu)
