#include "connectionsettings.h"

ConnectionSettings connectionSettings;
