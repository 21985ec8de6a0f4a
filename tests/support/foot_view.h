#pragma once

// Shared by the window tests of the foot view: a fresh program state, a sample scan opened in
// the view, a record of the status line, and clicks made as the operator makes them.

#include <QString>
#include <QStringList>
#include <memory>

#include "footgen/footgen.h"
#include "kernelcad/core/scene.h"
#include "platform/msgbox.h"

class QToolBar;

namespace view {
class Form1;
}

namespace support {

// No windows, default shared state, the status line recorded; message boxes go to the script.
std::unique_ptr<platform::MsgBoxScript> freshState();

// Every text the status line was given since the last fresh state.
QStringList& statusLog();

// Opens the sample scan `fileName` in a foot view of 1200 x 900 device pixels (so a pixel is
// well under half a millimetre) and waits until it is on screen; null if it could not.
view::Form1* openFoot(const QString& fileName);
inline view::Form1* openLeftFoot() { return openFoot(QStringLiteral("LeftFoot.wrl")); }

// The landmarks the sample scan of the left or right foot was made with.
const footgen::Landmarks& marks(bool left = true);
kernelcad::Vec3 centre(view::Form1& form, long item);

// A click on the view at the pixel over a world point, aimed as the operator aims.
void clickView(view::Form1& form, const kernelcad::Vec3& world);
// The first `count` of the heel, ball and adjacent spheres drawn at `at`; the points kept.
void drawSpheres(view::Form1& form, const footgen::Landmarks& at, int count = 3);
// "Align Foot" in the menu bar.
void alignFoot(view::Form1& form);
// "Align Foot", then each sphere placed with its own tool and a click on its landmark.
void placeByClicks(view::Form1& form, const footgen::Landmarks& at);

// A click on the button of a toolbar (Toolbar1 unless told) whose caption reads `key` without
// its blanks.
void clickButton(QToolBar& bar, const QString& key);
void clickButton(view::Form1& form, const QString& key);

}  // namespace support
