#pragma once

#include <QString>
#include <memory>

#include "kernelcad/core/scene.h"

namespace app {

// The data folder the folder list opens on at start: "C:\Kelvard\Data\" on Windows,
// ~/Kelvard/Data/ elsewhere.
QString defaultDataFolder();

// The one record of values shared by every window for the whole run. Fields are read and
// written directly; the object references share the component's objects and release them when
// emptied or overwritten. The member initialisers are the start values: nothing survives a run.
struct AppState {
  std::shared_ptr<kernelcad::Model> ModelRef;
  QString DataFolder = defaultDataFolder();
  QString ScanPath;
  QString ScanFile = QStringLiteral("None");
  QString HelpAddress;
  QString FootSide;
  QString CurrentFolder;
  bool OrnivueMode = false;
  bool ShadedFlag = false;
  bool PlaceHeelArmed = false;
  bool PlaceBallArmed = false;
  bool PlaceAdjacentArmed = false;
  bool MoveHeelArmed = false;
  bool MoveBallArmed = false;
  bool MoveAdjacentArmed = false;
  double AlignRollAngle = 0;
  double MoveStep = 0;
  double TurnStep = 0;
  double PickX = 0, PickY = 0, PickZ = 0;
  double HeelX = 0, HeelY = 0, HeelZ = 0;
  double BallX = 0, BallY = 0, BallZ = 0;
  double AdjX = 0, AdjY = 0, AdjZ = 0;
  double HeelBallDist = 0;
  double HeelAdjDist = 0;
  double BallAdjDist = 0;
  std::shared_ptr<kernelcad::Item> FootItem;
  std::shared_ptr<kernelcad::Item> HeelItem;
  std::shared_ptr<kernelcad::Item> BallItem;
  std::shared_ptr<kernelcad::Item> AdjItem;

  // Whether the browser has set a foot side: "Left" or "Right".
  bool footChosen() const {
    return FootSide == QLatin1String("Left") || FootSide == QLatin1String("Right");
  }
};

// The single instance, alive from before the first window loads to the end of the program.
AppState& state();

// A reference point kept as three fields of the state, read and written as one.
inline kernelcad::Vec3 point(double x, double y, double z) { return {x, y, z}; }
inline void setPoint(double& x, double& y, double& z, const kernelcad::Vec3& p) {
  x = p.x();
  y = p.y();
  z = p.z();
}

}  // namespace app
