// Controls by id, as the dialog's handlers and the tests address them: every control carries
// its numeric id in the property "controlId" and its IDC_ name as object name.
#pragma once

#include <QString>
#include <QWidget>

namespace orvane {

inline constexpr const char* controlIdProperty = "controlId";

// The child control with that id, or nullptr.
QWidget* dlgItem(const QWidget* dialog, int id);

// Sets a control's text; an id without a control does nothing and reports nothing.
void setDlgItemText(const QWidget* dialog, int id, const QString& text);

// A control's text: label and button texts, edit and combo box edit fields, the log's text.
QString dlgItemText(const QWidget* dialog, int id);

// The signed integer value of a control's text; 0 when the text is not a number.
int dlgItemInt(const QWidget* dialog, int id);

// The signed value of a text as the dialog manager reads it: leading blanks, an optional
// minus sign and decimal digits, nothing after them; anything else, or a value that does
// not fit an int, gives 0.
int signedValueOf(const QString& text);

void enableDlgItem(const QWidget* dialog, int id, bool enabled);

} // namespace orvane
