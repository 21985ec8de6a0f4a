#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "kernelcad/core/scan_reader.h"

namespace kernelcad {

// Tells the caller how far a read got and stops the read when asked. Progress counts bytes of
// the file; each step of a read (reading, inflating, parsing, building the mesh) covers a share
// of them, in proportion to the time the step takes on a typical scan, so the count moves
// evenly from 0 to the file size.
class Meter {
 public:
  Meter(ReadProgress* progress, const std::string& fileName) : p_(progress), file_(fileName) {}

  void SetTotal(std::uint64_t bytes) {
    total_ = bytes;
    if (p_) p_->total = bytes;
  }
  // The next step covers the fractions [from, to) of the file, counted in `units` of its own.
  void Step(double from, double to, std::uint64_t units) {
    from_ = from;
    to_ = to;
    units_ = units;
    At(0);
  }
  // `unit` of the current step's units are done. Throws ScanCancelled when cancel is set.
  void At(std::uint64_t unit) {
    if (!p_) return;
    if (p_->cancel.load(std::memory_order_relaxed)) {
      throw ScanCancelled(file_ + ": reading cancelled");
    }
    const double f = units_ ? static_cast<double>(std::min(unit, units_)) / units_ : 1.0;
    const auto done = static_cast<std::uint64_t>((from_ + (to_ - from_) * f) * total_);
    if (done > p_->done.load(std::memory_order_relaxed)) p_->done = done;
  }
  void Finish() {
    if (p_) p_->done = total_;
  }

 private:
  ReadProgress* p_;
  const std::string& file_;
  std::uint64_t total_ = 0;
  double from_ = 0, to_ = 0;
  std::uint64_t units_ = 0;
};

// The share of a read that reading the file from the page cache takes: quick next to parsing.
constexpr double kReadShare = 0.1;

}  // namespace kernelcad
