#pragma once

// Shared by the window tests of the foot view: a sample scan opened in it, a record of the status
// line, and clicks made as the operator makes them.

#include <QAction>
#include <QPoint>
#include <QString>
#include <QStringList>

class QToolBar;

#include "kernelcad/core/scene.h"

namespace view {
class Form1;
}

namespace support {

// Every text the status line was given since the last reset.
QStringList& statusLog();
void recordStatus();

// Opens the sample scan `fileName` in a large foot view (so a pixel is well under half a
// millimetre) and waits until it is on screen; null if it could not.
view::Form1* openFoot(const QString& fileName);
// Makes an open foot view large, in the Bottom view, and waits until it is on screen.
bool enlargeView(view::Form1& form);
inline view::Form1* openLeftFoot() { return openFoot(QStringLiteral("LeftFoot.wrl")); }

// The view pixel under a world point, as the operator would aim at it.
QPoint pixelOf(view::Form1& form, const kernelcad::Vec3& world);
void clickView(view::Form1& form, const kernelcad::Vec3& world);
// The button of a toolbar (Toolbar1 unless told) whose caption reads `key` without its blanks.
QAction* button(QToolBar& bar, const QString& key);
void clickButton(QToolBar& bar, const QString& key);
QAction* button(view::Form1& form, const QString& key);
void clickButton(view::Form1& form, const QString& key);

}  // namespace support
