#include "connectivity.h"

void Connectivity::setInternet(bool up)
{
    if (std::exchange(internetUp, up) != up)
        emit internetChanged(up);
}

void Connectivity::setDatabase(bool up)
{
    if (std::exchange(databaseUp, up) != up)
        emit databaseChanged(up);
}

void Connectivity::setBroker(bool up)
{
    if (std::exchange(brokerUp, up) != up)
        emit brokerChanged(up);
}
