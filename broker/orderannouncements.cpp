#include "orderannouncements.h"

OrderAnnouncements *OrderAnnouncements::instance()
{
    static OrderAnnouncements announcements;
    return &announcements;
}
