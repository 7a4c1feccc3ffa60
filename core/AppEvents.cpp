#include "core/AppEvents.h"

namespace core {

AppEvents &AppEvents::instance()
{
    static AppEvents events;
    return events;
}

} // namespace core
