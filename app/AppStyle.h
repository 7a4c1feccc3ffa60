#pragma once
#include <QString>

namespace app {

// The program's own look: smoky quartz greys with dark text, so that every
// text stays readable; the counter and the meal-type label stand out.
QString appStyleSheet();

} // namespace app
