#include "kernelcad/core/vrml_gzip.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <limits>

#include "kernelcad/core/scan_reader.h"
#include "kernelcad/core/vrml_limits.h"
#include "kernelcad/core/vrml_messages.h"

namespace kernelcad::vrml {

bool LooksGzipped(std::string_view bytes) {
  return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f &&
         static_cast<unsigned char>(bytes[1]) == 0x8b;
}

std::string Gunzip(std::string_view bytes, const std::string& fileName,
                   const std::function<void(std::size_t)>& consumed) {
  const bool byRatio = bytes.size() * kMaxInflateRatio < kMaxTextBytes;
  const std::size_t maxOutput = static_cast<std::size_t>(
      byRatio ? std::max(bytes.size() * kMaxInflateRatio, kInflateAllowance) : kMaxTextBytes);
  const auto refuse = [&] {
    throw ScanError(fileName + ": gzip content inflates beyond " + ByteSize(maxOutput) +
                    (byRatio ? " from " + ByteSize(bytes.size()) + ", more than " +
                                   std::to_string(kMaxInflateRatio) +
                                   " times its compressed size, where scans compress about 4 to 1"
                             : "") +
                    "; refused");
  };
  z_stream zs{};
  if (inflateInit2(&zs, 16 + MAX_WBITS) != Z_OK) {
    throw ScanError(fileName + ": cannot start gzip decompression");
  }
  struct Guard {
    z_stream* s;
    ~Guard() { inflateEnd(s); }
  } guard{&zs};

  // The trailer holds the uncompressed size modulo 4 GiB: a good first guess for the buffer.
  // A cut-off or forged trailer is garbage, so the guess is trusted only up to the limit;
  // beyond the guess the buffer grows by doubling as data really arrives.
  std::size_t guess = bytes.size() * 4;
  if (bytes.size() >= 18) {
    const auto* t = reinterpret_cast<const unsigned char*>(bytes.data() + bytes.size() - 4);
    guess = std::size_t{t[0]} | std::size_t{t[1]} << 8 | std::size_t{t[2]} << 16 |
            std::size_t{t[3]} << 24;
  }
  std::string out;
  out.resize(std::clamp<std::size_t>(guess + 1, 4096, maxOutput + 1));

  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  std::size_t produced = 0;
  constexpr std::size_t kChunk = std::numeric_limits<uInt>::max() / 2;
  // Output per inflate call: a few milliseconds of work between two progress reports.
  constexpr std::size_t kStep = std::size_t{1} << 20;
  for (;;) {
    if (zs.avail_in == 0 && inLeft > 0) {
      const std::size_t n = std::min(inLeft, kChunk);
      zs.next_in = const_cast<unsigned char*>(in);
      zs.avail_in = static_cast<uInt>(n);
      in += n;
      inLeft -= n;
    }
    if (produced == out.size()) {
      if (out.size() > maxOutput) refuse();
      out.resize(std::min(out.size() * 2, maxOutput + 1));
    }
    const std::size_t room = std::min(out.size() - produced, kStep);
    zs.next_out = reinterpret_cast<unsigned char*>(out.data() + produced);
    zs.avail_out = static_cast<uInt>(room);
    const int rc = inflate(&zs, Z_NO_FLUSH);
    produced += room - zs.avail_out;
    consumed(bytes.size() - inLeft - zs.avail_in);
    if (rc == Z_STREAM_END) {
      // Another member may follow (concatenated gzip files are legal).
      if (zs.avail_in == 0 && inLeft == 0) break;
      if (inflateReset(&zs) != Z_OK) throw ScanError(fileName + ": damaged gzip stream");
      continue;
    }
    if (rc == Z_BUF_ERROR && zs.avail_in == 0 && inLeft == 0) {
      throw ScanError(fileName + ": gzip stream is cut off (file truncated)");
    }
    if (rc != Z_OK && rc != Z_BUF_ERROR) {
      throw ScanError(fileName + ": damaged gzip stream (" + (zs.msg ? zs.msg : "inflate error") +
                      ")");
    }
  }
  if (produced > maxOutput) refuse();
  out.resize(produced);
  return out;
}

}  // namespace kernelcad::vrml
