#include "kernelcad/core/corner_welder.h"

#include <bit>
#include <cstring>

namespace kernelcad {
namespace {

std::uint32_t Bits(float v) {
  if (v == 0.0f) return 0;  // -0 is the same point as +0
  return std::bit_cast<std::uint32_t>(v);
}

std::size_t Hash(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
  std::uint64_t h = x * 0x9E3779B97F4A7C15ull;
  h ^= (y + 0x632BE59BD9B4E019ull) * 0xC2B2AE3D27D4EB4Full;
  h ^= (z + 0x165667B19E3779F9ull) * 0x94D049BB133111EBull;
  return static_cast<std::size_t>(h ^ (h >> 29));
}

}  // namespace

CornerWelder::CornerWelder(std::size_t expectedCorners) {
  // A closed scan surface has about one vertex per two triangles, one per six corners; an open
  // one a little more. Room for a fifth of the corners grows only for odd meshes.
  const std::size_t vertices = expectedCorners / 5 + 16;
  mesh_.points.reserve(vertices * 3);
  mesh_.triangles.reserve(expectedCorners);
  slots_.assign(std::bit_ceil(vertices + vertices / 2), -1);
  mask_ = slots_.size() - 1;
}

void CornerWelder::Add(float x, float y, float z) {
  Corner c{Bits(x), Bits(y), Bits(z), 0};
  c.hash = Hash(c.x, c.y, c.z);
  __builtin_prefetch(&slots_[c.hash & mask_]);
  if (added_ - inserted_ == kAhead) Insert(ahead_[inserted_++ % kAhead]);
  ahead_[added_++ % kAhead] = c;
}

void CornerWelder::Insert(const Corner& c) {
  std::size_t i = c.hash & mask_;
  const float* pts = mesh_.points.data();
  for (;; i = (i + 1) & mask_) {
    const std::int32_t v = slots_[i];
    if (v < 0) break;
    const float* p = pts + 3 * static_cast<std::size_t>(v);
    if (Bits(p[0]) == c.x && Bits(p[1]) == c.y && Bits(p[2]) == c.z) {
      mesh_.triangles.push_back(v);
      return;
    }
  }
  const auto v = static_cast<std::int32_t>(mesh_.pointCount());
  slots_[i] = v;
  mesh_.points.insert(mesh_.points.end(), {std::bit_cast<float>(c.x), std::bit_cast<float>(c.y),
                                           std::bit_cast<float>(c.z)});
  mesh_.triangles.push_back(v);
  if (mesh_.pointCount() * 2 > slots_.size()) Grow();
}

void CornerWelder::Grow() {
  slots_.assign(slots_.size() * 2, -1);
  mask_ = slots_.size() - 1;
  const float* p = mesh_.points.data();
  for (std::size_t v = 0; v < mesh_.pointCount(); ++v, p += 3) {
    std::size_t i = Hash(Bits(p[0]), Bits(p[1]), Bits(p[2])) & mask_;
    while (slots_[i] >= 0) i = (i + 1) & mask_;
    slots_[i] = static_cast<std::int32_t>(v);
  }
}

Mesh CornerWelder::Take() {
  while (inserted_ < added_) Insert(ahead_[inserted_++ % kAhead]);
  slots_ = {};
  return std::move(mesh_);
}

}  // namespace kernelcad
