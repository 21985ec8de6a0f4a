// Reading scan files from disk: progress, cancel, and files that are not what they claim.
#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <future>
#include <random>
#include <string>
#include <thread>

#include "kernelcad/core/vrml_reader.h"

namespace fs = std::filesystem;
using kernelcad::ReadProgress;
using kernelcad::ReadVrmlFile;
using kernelcad::VrmlCancelled;
using kernelcad::VrmlError;

namespace {

// A folder of its own for each test, removed afterwards.
class ScanFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / (std::string("quarnel_reader_io_") + info->name() + "_" +
                                        std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  fs::path dir_;
};

// An n x n grid of points in two triangles per cell: about 90 bytes of text per point.
std::string GridScan(int n) {
  std::string t =
      "#VRML V2.0 utf8\nShape { geometry IndexedFaceSet {\ncoord Coordinate { point [\n";
  char buf[32];
  const auto num = [&](double v, char sep) {
    t.append(buf, std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 4).ptr);
    t += sep;
  };
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      num(x * 0.5, ' ');
      num(y * 0.5, ' ');
      num((x * y % 97) * 0.01, '\n');
    }
  }
  t += "] }\ncoordIndex [\n";
  for (int y = 0; y + 1 < n; ++y) {
    for (int x = 0; x + 1 < n; ++x) {
      const int a = y * n + x, b = a + 1, c = a + n, d = c + 1;
      for (int i : {a, b, d, -1, a, d, c, -1}) t += std::to_string(i) + (i < 0 ? "\n" : " ");
    }
  }
  return t + "] } }\n";
}

std::string Gzip(const std::string& text) {
  uLongf size = compressBound(static_cast<uLong>(text.size())) + 32;
  std::string out(size, '\0');
  z_stream zs{};
  deflateInit2(&zs, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  zs.avail_in = static_cast<uInt>(text.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

// ---------------------------------------------------------------------------------------------
// Progress and cancel, for a plain and a gzip-compressed scan of some tens of megabytes.

TEST_F(ScanFolder, ProgressRunsToTheFileSizeAndCancelStopsTheReadPartWay) {
  const std::string text = GridScan(600);
  for (const bool gzip : {false, true}) {
    SCOPED_TRACE(gzip ? "gzip" : "plain");
    const std::string bytes = gzip ? Gzip(text) : text;
    const std::string path = Write(gzip ? "grid.wrl.gz" : "grid.wrl", bytes);

    ReadProgress whole;
    const auto scan = ReadVrmlFile(path, &whole);
    EXPECT_EQ(scan.mesh.triangleCount(), 2u * 599 * 599);
    EXPECT_EQ(whole.total, bytes.size());
    EXPECT_EQ(whole.done, bytes.size());

    // Cancelled as soon as anything is counted: the read stops before its end.
    ReadProgress cut;
    std::atomic<bool> finished{false};
    std::thread watcher([&] {
      while (cut.done == 0 && !finished) std::this_thread::yield();
      cut.cancel = true;
    });
    std::string message;
    try {
      ReadVrmlFile(path, &cut);
    } catch (const VrmlCancelled& e) {
      message = e.what();
    }
    finished = true;
    watcher.join();
    EXPECT_EQ(message, path + ": reading cancelled");
    EXPECT_GT(cut.done, 0u);
    EXPECT_LT(cut.done, cut.total);
  }
}

}  // namespace
