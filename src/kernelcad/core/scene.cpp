#include "kernelcad/core/scene.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>

namespace kernelcad {

namespace {

double radians(double degrees) { return degrees * std::numbers::pi / 180.0; }

void requireFinite(std::initializer_list<double> values, const char* what) {
  for (double v : values) {
    if (!std::isfinite(v))
      throw KernelCADError(std::string(what) + ": a value is not a finite number");
  }
}

std::array<double, 6> emptyBounds() {
  constexpr double inf = std::numeric_limits<double>::infinity();
  return {inf, inf, inf, -inf, -inf, -inf};
}

void growBounds(std::array<double, 6>& b, const Vec3& p) {
  for (int a = 0; a < 3; ++a) {
    b[a] = std::min(b[a], p[a]);
    b[a + 3] = std::max(b[a + 3], p[a]);
  }
}

}  // namespace

void Placement::SetPosition(double x, double y, double z) {
  requireFinite({x, y, z}, "SetPosition");
  transform_.translation() = Vec3(x, y, z);
}

void Placement::Translate(double dx, double dy, double dz) {
  requireFinite({dx, dy, dz}, "Translate");
  transform_.pretranslate(Vec3(dx, dy, dz));
}

void Placement::Rotate(double angle, double px, double py, double pz, double dx, double dy,
                       double dz) {
  requireFinite({angle, px, py, pz, dx, dy, dz}, "Rotate");
  const Vec3 axis(dx, dy, dz);
  if (axis.norm() == 0.0) throw KernelCADError("Rotate: the axis direction is zero");
  const Vec3 pivot(px, py, pz);
  const Eigen::AngleAxisd turn(radians(angle), axis.normalized());
  // World-frame turn about the pivot, applied after the current placement.
  transform_ = Eigen::Translation3d(pivot) * turn * Eigen::Translation3d(-pivot) * transform_;
}

void Item::SetColour(int component, float r, float g, float b) {
  if (component < 0 || component > 2) {
    throw KernelCADError("SetColour: material component " + std::to_string(component) +
                         " does not exist (0 ambient, 1 diffuse, 2 specular)");
  }
  for (float c : {r, g, b}) {
    if (!(c >= 0.0f && c <= 1.0f)) throw KernelCADError("SetColour: colour values run from 0 to 1");
  }
  material_.colour[component] = {r, g, b};
}

void Item::SetShininess(float shininess) {
  if (!(shininess >= 0.0f && shininess <= 128.0f)) {
    throw KernelCADError("SetShininess: shininess runs from 0 to 128");
  }
  material_.shininess = shininess;
}

void Item::Scale(double sx, double sy, double sz, bool uniform) {
  requireFinite({sx, sy, sz}, "Scale");
  if (sx == 0.0 || sy == 0.0 || sz == 0.0) throw KernelCADError("Scale: a scale factor is zero");
  if (uniform && (sx != sy || sy != sz)) {
    throw KernelCADError("Scale: uniform scaling needs three equal factors");
  }
  const Vec3 origin = transform_.translation();
  transform_ = Eigen::Translation3d(origin) * Eigen::Scaling(sx, sy, sz) *
               Eigen::Translation3d(-origin) * transform_;
}

Mesh Item::placedMesh() const {
  if (kind_ != ItemKind::Mesh) throw KernelCADError("only a mesh item has a placed mesh");
  Mesh out = *mesh_;
  out.normals.clear();
  const Eigen::Matrix3d l = transform_.linear();
  const Vec3 t = transform_.translation();
  for (std::size_t i = 0; i + 2 < out.points.size(); i += 3) {
    const Vec3 p = l * Vec3(out.points[i], out.points[i + 1], out.points[i + 2]) + t;
    for (int a = 0; a < 3; ++a) out.points[i + a] = static_cast<float>(p[a]);
  }
  if (l.determinant() < 0) {
    for (std::size_t i = 0; i + 2 < out.triangles.size(); i += 3)
      std::swap(out.triangles[i + 1], out.triangles[i + 2]);
  }
  return out;
}

std::array<double, 6> Item::worldBounds() const {
  auto b = emptyBounds();
  switch (kind_) {
    case ItemKind::Mesh: {
      // Unmoved, as a scan is when it comes in: its own bounds, without a pass over its points.
      if (transform_.matrix().isIdentity(0.0)) return localBounds_;
      const auto& pts = mesh_->points;
      const Eigen::Matrix3d l = transform_.linear();
      const Vec3 t = transform_.translation();
      for (std::size_t i = 0; i + 2 < pts.size(); i += 3) {
        growBounds(b, l * Vec3(pts[i], pts[i + 1], pts[i + 2]) + t);
      }
      break;
    }
    case ItemKind::Sphere: {
      // The placed sphere is an ellipsoid in general; its axis-aligned half sizes are the
      // row norms of the linear part times the radius.
      const Eigen::Matrix3d l = transform_.linear();
      const Vec3 c = transform_.translation();
      for (int a = 0; a < 3; ++a) {
        const double h = l.row(a).norm() * radius_;
        b[a] = c[a] - h;
        b[a + 3] = c[a] + h;
      }
      break;
    }
    case ItemKind::Polygon:
      for (const Vec3& p : corners_) growBounds(b, transform_ * p);
      break;
  }
  return b;
}

std::array<double, 6> Item::coarseWorldBounds() const {
  if (kind_ != ItemKind::Mesh) return worldBounds();
  auto b = emptyBounds();
  for (int i = 0; i < 8; ++i) {
    const Vec3 corner(localBounds_[(i & 1) ? 3 : 0], localBounds_[(i & 2) ? 4 : 1],
                      localBounds_[(i & 4) ? 5 : 2]);
    growBounds(b, transform_ * corner);
  }
  return b;
}

std::shared_ptr<Item> Item::makeMesh(std::shared_ptr<const Mesh> mesh) {
  std::shared_ptr<Item> item(new Item(ItemKind::Mesh));  // NOLINT: private constructor
  item->localBounds_ = mesh->bounds();
  item->mesh_ = std::move(mesh);
  item->name_ = "Scan";
  // A warm skin tone for scans without colours of their own.
  item->material_.colour = {{{0.25f, 0.2f, 0.18f}, {0.86f, 0.72f, 0.62f}, {0.15f, 0.15f, 0.15f}}};
  item->material_.shininess = 20.0f;
  return item;
}

std::shared_ptr<Item> Item::makeSphere(double radius) {
  requireFinite({radius}, "AddSphere");
  if (radius <= 0.0) throw KernelCADError("AddSphere: the radius must be greater than zero");
  std::shared_ptr<Item> item(new Item(ItemKind::Sphere));  // NOLINT: private constructor
  item->radius_ = radius;
  return item;
}

std::shared_ptr<Item> Item::makePolygon(const std::array<Vec3, 4>& corners) {
  for (const Vec3& c : corners) requireFinite({c.x(), c.y(), c.z()}, "AddPolygon");
  std::shared_ptr<Item> item(new Item(ItemKind::Polygon));  // NOLINT: private constructor
  item->corners_ = corners;
  return item;
}

std::shared_ptr<LabelEntry> LabelList::AddEntry(int kind, bool visible) {
  if (kind != 1)
    throw KernelCADError("AddEntry: label kind " + std::to_string(kind) + " does not exist");
  entries_.push_back(std::make_shared<LabelEntry>(kind, visible));
  return entries_.back();
}

std::shared_ptr<LabelEntry> LabelList::GetEntry(long index) const {
  if (index < 0 || index >= GetCount()) {
    throw KernelCADError("GetEntry: there is no label " + std::to_string(index) + " (" +
                         std::to_string(GetCount()) + " labels)");
  }
  return entries_[static_cast<std::size_t>(index)];
}

std::shared_ptr<Item> Model::GetItem(long index) const {
  if (index < 0 || index >= GetItemCount()) {
    throw KernelCADError("GetItem: there is no item " + std::to_string(index) + " (" +
                         std::to_string(GetItemCount()) + " items)");
  }
  return items_[static_cast<std::size_t>(index)];
}

void Model::RemoveItem(long index) {
  GetItem(index);  // refuses an index out of range
  items_.erase(items_.begin() + index);
}

std::shared_ptr<Item> Model::AddSphere(double radius) {
  items_.push_back(Item::makeSphere(radius));
  return items_.back();
}

std::shared_ptr<Item> Model::AddPolygon(double x1, double y1, double z1, double x2, double y2,
                                        double z2, double x3, double y3, double z3, double x4,
                                        double y4, double z4) {
  items_.push_back(
      Item::makePolygon({Vec3(x1, y1, z1), Vec3(x2, y2, z2), Vec3(x3, y3, z3), Vec3(x4, y4, z4)}));
  return items_.back();
}

std::shared_ptr<LabelList> Model::FindObject(const std::string& name) const {
  if (name != "Items")
    throw KernelCADError("FindObject: the model has no object named \"" + name + "\"");
  return labels_;
}

namespace {

template <typename ItemBounds>
Dimensions unionOfBounds(const std::vector<std::shared_ptr<Item>>& items, ItemBounds bounds) {
  auto b = emptyBounds();
  for (const auto& item : items) {
    const auto ib = bounds(*item);
    for (int a = 0; a < 3; ++a) {
      b[a] = std::min(b[a], ib[a]);
      b[a + 3] = std::max(b[a + 3], ib[a + 3]);
    }
  }
  return {Vec3(b[0], b[1], b[2]), Vec3(b[3], b[4], b[5])};
}

}  // namespace

Dimensions Model::GetDimensions() const {
  if (items_.empty()) throw KernelCADError("GetDimensions: the model is empty");
  return unionOfBounds(items_, [](const Item& item) { return item.worldBounds(); });
}

Dimensions Model::coarseDimensions() const {
  if (items_.empty()) return {};
  return unionOfBounds(items_, [](const Item& item) { return item.coarseWorldBounds(); });
}

void Model::setScan(std::shared_ptr<const Mesh> mesh) {
  items_.clear();
  items_.push_back(Item::makeMesh(std::move(mesh)));
  // The list object stays: whoever looked it up keeps a list that is now empty.
  labels_->clear();
}

void Frame::ResetOrientation() {
  transform_ = Eigen::Affine3d::Identity();
  if (onReset_) onReset_();
}

void Frame::RotateAboutAxis(double angle, long axis) {
  requireFinite({angle}, "RotateAboutAxis");
  if (axis < 0 || axis > 2) {
    throw KernelCADError("RotateAboutAxis: axis " + std::to_string(axis) +
                         " does not exist (0 X, 1 Y, 2 Z)");
  }
  const Eigen::AngleAxisd turn(radians(angle), Vec3::Unit(static_cast<int>(axis)));
  transform_.linear() = turn.toRotationMatrix() * transform_.linear();
}

View::View(std::shared_ptr<Model> model) : model_(std::move(model)) {
  eyeFrame_->onReset_ = [this] { fit(); };
}

// The frame may be held past the view's life; it must not call back into a dead view.
View::~View() { eyeFrame_->onReset_ = nullptr; }

std::shared_ptr<Frame> View::FindObject(const std::string& name) const {
  if (name != "EyeFrame")
    throw KernelCADError("FindObject: the view has no object named \"" + name + "\"");
  return eyeFrame_;
}

void View::SetParameters(std::int32_t flags0, std::int32_t light, std::int32_t flags2,
                         std::int32_t flags3, std::int32_t lineWidth) {
  if (flags0 != 0 || flags2 != 0 || flags3 != 0) {
    throw KernelCADError("SetParameters: display flags must be zero");
  }
  const float l = std::bit_cast<float>(light);
  const float w = std::bit_cast<float>(lineWidth);
  if (!(l >= 0.0f && l <= 10.0f) || !(w > 0.0f && w <= 20.0f)) {
    throw KernelCADError("SetParameters: light intensity or line width out of range");
  }
  lightIntensity_ = l;
  lineWidth_ = w;
}

Eigen::Matrix3d View::worldToCamera() const { return eyeFrame_->orientation().transpose(); }

Vec3 View::focalPoint() const { return fitCentre_ + eyeFrame_->GetPosition(); }

std::pair<double, double> View::GetExtent(long axis) const {
  const Vec3 centre = worldToCamera() * focalPoint();
  const double halfH = halfHeight();
  const double halfW = halfH * width_ / height_;
  switch (axis) {
    case 0:
      return {centre.x() - halfW, centre.x() + halfW};
    case 1:
      return {centre.y() - halfH, centre.y() + halfH};
    case 2: {
      if (model_->GetItemCount() == 0) return {centre.z(), centre.z()};
      const Dimensions d = model_->GetDimensions();
      double lo = std::numeric_limits<double>::infinity();
      double hi = -lo;
      for (int i = 0; i < 8; ++i) {
        const Vec3 corner((i & 1) ? d.max.x() : d.min.x(), (i & 2) ? d.max.y() : d.min.y(),
                          (i & 4) ? d.max.z() : d.min.z());
        const double z = (worldToCamera() * corner).z();
        lo = std::min(lo, z);
        hi = std::max(hi, z);
      }
      return {lo, hi};
    }
    default:
      throw KernelCADError("GetExtent: axis " + std::to_string(axis) + " does not exist (0, 1, 2)");
  }
}

void View::SetZoom(double factor, double paperLength, double offsetX, double offsetY) {
  requireFinite({factor, paperLength, offsetX, offsetY}, "SetZoom");
  zoomBy(factor);
}

void View::zoomBy(double factor) {
  if (!(factor > 0.0) || !std::isfinite(factor)) {
    throw KernelCADError("SetZoom: the zoom factor must be greater than zero");
  }
  const double z = zoom_ * factor;
  // Far beyond any useful magnification the projection loses precision; refuse instead.
  if (z < 1e-6 || z > 1e6) throw KernelCADError("SetZoom: zoom out of range");
  zoom_ = z;
}

std::shared_ptr<Item> View::PickPoint(long px, long py, Vec3& point) const {
  if (!picker_) return nullptr;
  const auto hit = picker_(px, py);
  if (!hit) return nullptr;
  point = hit->point;
  return hit->item;
}

void View::setViewportSize(int width, int height) {
  width_ = std::max(1, width);
  height_ = std::max(1, height);
}

void View::fit() {
  zoom_ = 1.0;
  if (model_->GetItemCount() == 0) {
    fitCentre_ = Vec3::Zero();
    fitHalfHeight_ = 100.0;
    return;
  }
  const Dimensions d = model_->GetDimensions();
  fitCentre_ = (d.min + d.max) / 2.0;
  // The bounding sphere fits whatever way the frame is turned afterwards; 5% margin.
  const double radius = std::max((d.max - d.min).norm() / 2.0, 1e-3);
  const double aspect = static_cast<double>(width_) / height_;
  fitHalfHeight_ = 1.05 * radius / std::min(1.0, aspect);
}

Eigen::Vector2d View::worldToPixel(const Vec3& p) const {
  const Vec3 c = worldToCamera() * (p - focalPoint());
  const double pixelsPerMm = height_ / (2.0 * halfHeight());
  return {width_ / 2.0 + c.x() * pixelsPerMm, height_ / 2.0 - c.y() * pixelsPerMm};
}

Vec3 View::pixelToWorld(double x, double y) const {
  const double mmPerPixel = 2.0 * halfHeight() / height_;
  const Vec3 c((x - width_ / 2.0) * mmPerPixel, (height_ / 2.0 - y) * mmPerPixel, 0.0);
  return focalPoint() + eyeFrame_->orientation() * c;
}

}  // namespace kernelcad
