// Builds a dialog's controls from its template: widget kind, geometry converted from dialog
// units, template text, IDC_ name and numeric id, and the tab order of the template.
#pragma once

#include "ui/dialog_template.h"
#include "ui/qt/dialog_units.h"

#include <QIcon>
#include <QWidget>
#include <span>

namespace orvane {

// Creates one widget per template entry as children of dialog, in template order. icon is
// shown by Icon entries.
void buildControls(QWidget* dialog, std::span<const ControlTemplate> controls, DialogBaseUnits base,
                   const QIcon& icon = {});

// Visible height of a drop-down combo box's selection field; the template height is the
// height of its dropped list.
int comboFieldHeight(const QWidget* combo);

} // namespace orvane
