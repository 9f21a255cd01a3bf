#pragma once

#include <QWidget>
#include <map>

#include "res/dialog_templates.h"
#include "ui/dialog_units.h"

namespace ui {

// The property that carries a control's template id; tests and dialogs find controls by it.
inline constexpr const char* kControlIdProperty = "zelControlId";
// Set on the template's default push button.
inline constexpr const char* kDefaultButtonProperty = "zelDefaultButton";

// Creates the template's controls as children of `client`, in template order, placed in pixels
// through `units`. Returns the controls by id (the first one for a repeated id; unnamed controls
// are left out).
std::map<int, QWidget*> BuildControls(QWidget* client, const res::DialogTemplate& dialog,
                                      const DialogUnits& units);

// The control with template id `id` among the descendants of `root`, or null.
QWidget* FindControl(const QWidget* root, int id);

}  // namespace ui
