#pragma once
#include <QString>

class QPalette;

namespace app {

// The program's own look: smoky quartz greys with dark text, so that every
// text stays readable; the counter and the meal-type label stand out.
QString appStyleSheet();
// The greys of the sheet as a palette, for everything the sheet leaves to
// the style (check marks, radio dots, scroll bars).
QPalette appPalette();

} // namespace app
