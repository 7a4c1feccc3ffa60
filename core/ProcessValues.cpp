#include "core/ProcessValues.h"

namespace core {

ProcessValues &pv()
{
    static ProcessValues values;
    return values;
}

void resetProcessValues() { pv() = ProcessValues(); }

} // namespace core
