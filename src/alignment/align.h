#pragma once

#include <Eigen/Geometry>
#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "footview/foot_side.h"
#include "kernelcad/core/scene.h"

// Turning the scanned foot and its three reference spheres into the standard position, on the
// component's model and view alone: the foot view and quarnel-scan run the same procedures.
namespace alignment {

enum class Axis { Lateral, Medial };
using footview::Side;

// The alignment cannot go on; the message tells the operator what to do about it.
class AlignmentError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A quotient with no defined result: a division by zero or a value that is not a finite number.
// The alignment stops at that division.
class ArithmeticError : public AlignmentError {
 public:
  using AlignmentError::AlignmentError;
};

// The reference points as the shared state holds them. During an alignment the ball and
// adjacent points become working coordinates relative to the heel.
struct ReferencePoints {
  kernelcad::Vec3 heel = kernelcad::Vec3::Zero();
  kernelcad::Vec3 ball = kernelcad::Vec3::Zero();
  kernelcad::Vec3 adjacent = kernelcad::Vec3::Zero();
};

// The foot mesh and the three spheres: model items 0 to 3.
struct FootItems {
  std::shared_ptr<kernelcad::Item> foot, heel, ball, adjacent;
};

// What the alignment works on: the model, the view, and how to ask for a redraw (nothing to
// draw in the command-line tool).
struct Scene {
  std::shared_ptr<kernelcad::Model> model;
  std::shared_ptr<kernelcad::View> view;
  std::function<void()> redraw;
};

// Items 0 to 3 of the model. Fewer than four items means the points were not placed:
// AlignmentError.
FootItems Take_Foot_Items(const kernelcad::Model& model);

// Moves the heel to the origin and turns the mesh and spheres so that the axis point (ball for
// Lateral, adjacent for Medial) lies on the X axis and the other point in the XY plane; then the
// camera looks from below. Rewrites the ball and adjacent working coordinates and fills `items`.
// A zero denominator throws ArithmeticError with the items as the steps before it left them.
void Align_To_Axis(const Scene& scene, Axis axis, Side side, ReferencePoints& points,
                   FootItems& items);
// Resets the camera and turns the foot 180 degrees about Z when the ball sphere lies at a
// smaller X than the heel sphere.
void Check_Rotation(const Scene& scene);
// Rolls the mesh and spheres about the X axis by `angle` degrees; fills `items`.
void Roll_Foot(const Scene& scene, const double& angle, FootItems& items);
// The roll for a typed angle: the same sign for Lateral-Left and Medial-Right, the opposite
// for Lateral-Right and Medial-Left.
double Roll_For(Axis axis, Side side, double typedAngle);

// The alignment once the roll is typed: Align_To_Axis, Check_Rotation and Roll_Foot with the
// roll's sign for the axis and side. `points` ends as Align_To_Axis leaves the working
// coordinates; `items` holds items 0 to 3.
void Align_And_Roll(const Scene& scene, Axis axis, Side side, double typedRoll,
                    ReferencePoints& points, FootItems& items);

// A scan aligned without windows as the windows align it: the mesh as item 0, the heel, ball
// and adjacent spheres drawn at the three points as items 1 to 3, then Align_And_Roll.
std::shared_ptr<kernelcad::Model> Align_Scan(kernelcad::Mesh mesh, const ReferencePoints& at,
                                             Axis axis, Side side, double typedRoll);

// Placements of items 0 to 3, to put them back when an alignment stops half-way.
class PlacementSnapshot {
 public:
  explicit PlacementSnapshot(const kernelcad::Model& model);
  void restore() const;

 private:
  std::vector<std::pair<std::shared_ptr<kernelcad::Item>, Eigen::Affine3d>> saved_;
};

}  // namespace alignment
