#pragma once

class QAction;
class QToolBar;

namespace view {

class Form1;

// The navigation toolbar along the bottom of the foot view: turns the aligned foot and its
// spheres about the Z axis and shifts them in fixed steps, prints the foot full size, or goes
// away. It moves the items, not the camera.
void buildToolbar2(QToolBar& toolbar);
void Toolbar2_ButtonClick(Form1& form, const QAction& button);

}  // namespace view
