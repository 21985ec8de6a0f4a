#pragma once

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "kernelcad/core/mesh.h"

namespace kernelcad {

// Any file the reader refuses. The message names the file and, where one exists, the line.
class VrmlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Thrown when a read stops because ReadProgress::cancel was set.
class VrmlCancelled : public VrmlError {
 public:
  using VrmlError::VrmlError;
};

// Shared between the thread that reads and the one that shows progress or cancels.
struct ReadProgress {
  std::atomic<std::uint64_t> done{0};   // bytes of the file consumed so far
  std::atomic<std::uint64_t> total{0};  // bytes of the file in all, known once it is opened
  std::atomic<bool> cancel{false};      // set from any thread; the read then throws VrmlCancelled
};

struct VrmlScan {
  Mesh mesh;            // every IndexedFaceSet of the file, in world coordinates, as one mesh
  std::string version;  // "1.0" or "2.0"
  bool gzip = false;    // the bytes were gzip-compressed (recognised by content, not by name)
};

// Reads a VRML 1.0 or 2.0 file, plain or gzip-compressed. Throws VrmlError.
// Colours are kept only when every IndexedFaceSet carries per-vertex colours; a mesh with
// colour on some parts and none on others would render misleadingly, so then all are dropped.
// With a progress record the read reports how far it got and stops when asked to.
VrmlScan ReadVrmlFile(const std::string& path, ReadProgress* progress = nullptr);

// Same as ReadVrmlFile on bytes already in memory; fileName is only used in messages.
VrmlScan ReadVrmlBuffer(std::string_view bytes, const std::string& fileName);

}  // namespace kernelcad
