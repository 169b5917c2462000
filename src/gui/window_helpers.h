// Small window helpers every dialog of the front end uses.
#pragma once

class QWidget;

namespace zq::gui {

// Moves `window` to the middle of its screen, ((screen width - window width) / 2,
// (screen height - window height) / 2), without changing its size. Call it
// once the window has its size (after its layout has been applied).
void center_window(QWidget& window);

// Switches on a themed dialog background where the platform has one; 1 when
// it did. Qt's own style draws every dialog here, so there is none to switch
// on and the answer is always 0.
int enable_dialog_theme(QWidget& window, bool tabbed);

}  // namespace zq::gui
