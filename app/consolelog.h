#pragma once

#include <QLoggingCategory>

// The app lines of the console's log; QT_LOGGING_RULES="trovanta.console.debug=false" quiets them.
Q_DECLARE_LOGGING_CATEGORY(lcConsole)
