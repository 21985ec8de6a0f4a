#pragma once

// Shared by the reference point and distances tests: the foot view on the left sample scan, a
// record of the status line, and clicks made as the operator makes them.

#include <QAction>
#include <QPoint>
#include <QString>
#include <QStringList>

#include "kernelcad/core/scene.h"

namespace view {
class Form1;
}

namespace support {

// Every text the status line was given since the last reset.
QStringList& statusLog();
void recordStatus();

// Opens the left sample scan in a large foot view (so a pixel is well under half a millimetre)
// and waits until it is on screen; null if it could not.
view::Form1* openLeftFoot();

// The view pixel under a world point, as the operator would aim at it.
QPoint pixelOf(view::Form1& form, const kernelcad::Vec3& world);
void clickView(view::Form1& form, const kernelcad::Vec3& world);
// The Toolbar1 button whose caption reads `key` without its blanks.
QAction* button(view::Form1& form, const QString& key);
void clickButton(view::Form1& form, const QString& key);

}  // namespace support
