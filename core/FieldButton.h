#pragma once
#include <QString>

class QPushButton;
class QWidget;

namespace core {

// A push button known by its object name (tests and style sheets find it by
// that) that never takes Enter as the dialog's default button: Enter in the
// program's dialogs belongs to the field being typed in.
QPushButton *makeButton(const char *objectName, const QString &caption, QWidget *parent);

// The small buttons beside an edit field: "X" empties the field, "..."
// picks its value (from a directory, a file).
enum class FieldButton { Clear, Pick };

// The dynamic property the program's style sheet gives these buttons their
// narrow padding by: the ordinary button padding leaves no room for a caption
// on a 28-pixel button.
inline constexpr const char *kFieldButtonProperty = "fieldButton";
inline constexpr int kFieldButtonWidth = 28;

// One field button, made alike in every window: the caption "X" or "...",
// a tooltip saying what it does (`toolTip`, or the usual words for the
// kind), 28 pixels wide, never taking Enter as a default button.
QPushButton *makeFieldButton(FieldButton kind, const QString &objectName, QWidget *parent,
                             const QString &toolTip = QString());

} // namespace core
