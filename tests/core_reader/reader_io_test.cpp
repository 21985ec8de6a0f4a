// Reading scan files from disk: progress, cancel, and files that are not what they claim.
#include <gtest/gtest.h>

#include <atomic>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "kernelcad/core/file_access.h"
#include "kernelcad/core/mesh_writers.h"
#include "reader_text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>

#include <cerrno>
#endif

namespace fs = std::filesystem;
using kernelcad::ReadProgress;
using kernelcad::ReadScanFile;
using kernelcad::ScanError;
using reader_text::Gzip;
using reader_text::kTriangle;
using reader_text::kV2;

namespace {

// The system's own words for a missing file.
#ifdef _WIN32
const std::string kNoSuchFile = std::system_category().message(ERROR_FILE_NOT_FOUND);
#else
const std::string kNoSuchFile = std::generic_category().message(ENOENT);
#endif

// A folder of its own for each test, removed afterwards.
class ScanFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() / ("quarnel_reader_io_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  // The message reading `path` ends in, or "" when it was read.
  static std::string ErrorOf(const std::string& path, ReadProgress* progress = nullptr) {
    try {
      ReadScanFile(path, progress);
    } catch (const ScanError& e) {
      return e.what();
    }
    return "";
  }

  fs::path dir_;
};

// The nodes of an n x n grid of points in two triangles per cell: ~90 bytes of text a point.
std::string Grid(int n) {
  std::string t = "Shape { geometry IndexedFaceSet {\ncoord Coordinate { point [\n";
  char buf[32];
  for (int i = 0; i < 3 * n * n; ++i) {
    const int x = i / 3 % n, y = i / 3 / n;
    const double v = i % 3 == 0 ? x * 0.5 : i % 3 == 1 ? y * 0.5 : (x * y % 97) * 0.01;
    t.append(buf, std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 4).ptr);
    t += i % 3 == 2 ? '\n' : ' ';
  }
  t += "] }\ncoordIndex [\n";
  for (int a = 0; a < n * (n - 1); ++a) {
    if (a % n == n - 1) continue;
    for (int i : {a, a + 1, a + n + 1, -1, a, a + n + 1, a + n, -1})
      t += std::to_string(i) + (i < 0 ? "\n" : " ");
  }
  return t + "] } }\n";
}

// ---------------------------------------------------------------------------------------------
// A plain and a gzip-compressed scan of some tens of megabytes: progress runs to the file's size
// and cancel stops the read part way. Parsed text is given back as the read goes on, but a PROTO
// declared in the middle is kept to be read again for an instance at the end.

TEST_F(ScanFolder, ProgressRunsToTheFileSizeAndCancelStopsTheReadPartWay) {
  const std::string text = kV2 + Grid(300) +
                           "PROTO Tri [ field SFVec3f at 0 0 0 ] { Transform { translation IS at "
                           "children [" +
                           kTriangle + "] } }\n" + Grid(500) + "Tri { at 0 0 -7 }\n";
  for (const bool gzip : {false, true}) {
    SCOPED_TRACE(gzip ? "gzip" : "plain");
    const std::string bytes = gzip ? Gzip(text) : text;
    const std::string path = Write("grid.wrl", bytes);

    ReadProgress whole;
    const auto scan = ReadScanFile(path, &whole);
    EXPECT_EQ(scan.mesh.triangleCount(), 2u * (299 * 299 + 499 * 499) + 1);
    EXPECT_EQ(scan.mesh.bounds()[2], -7);
    EXPECT_EQ(scan.gzip, gzip);
    EXPECT_EQ(scan.mesh.points, kernelcad::ReadScanBuffer(text, path).mesh.points);
    EXPECT_EQ(whole.total, bytes.size());
    EXPECT_EQ(whole.done, bytes.size());

    ReadProgress cut;  // cancelled as soon as anything is counted
    std::atomic<bool> finished{false};
    std::thread watcher([&] {
      while (cut.done == 0 && !finished) std::this_thread::yield();
      cut.cancel = true;
    });
    const std::string message = ErrorOf(path, &cut);
    finished = true;
    watcher.join();
    EXPECT_EQ(message, path + ": reading cancelled");
    EXPECT_GT(cut.done, 0u);
    EXPECT_LT(cut.done, cut.total);
  }
}

// The mesh formats report progress and stop on cancel as VRML does, in every reader's own loop.
TEST_F(ScanFolder, MeshFormatsReportProgressAndCancel) {
  const kernelcad::Mesh grid = kernelcad::ReadScanBuffer(kV2 + Grid(400), "grid.wrl").mesh;
  for (const auto& [format, name] : {std::pair{kernelcad::ScanFormat::StlBinary, "grid.stl"},
                                     {kernelcad::ScanFormat::StlAscii, "grid.stl"},
                                     {kernelcad::ScanFormat::Obj, "grid.obj"},
                                     {kernelcad::ScanFormat::PlyAscii, "grid.ply"},
                                     {kernelcad::ScanFormat::PlyBigEndian, "grid.ply"}}) {
    SCOPED_TRACE(std::string(kernelcad::FormatName(format)));
    const std::string bytes = kernelcad::MeshFileBytes(grid, format);
    const std::string path = Write(name, bytes);
    ReadProgress whole;
    EXPECT_EQ(ReadScanFile(path, &whole).mesh.pointCount(), grid.pointCount());
    EXPECT_EQ(whole.done, bytes.size());

    // Cancelled once the file is read, so the stop comes from the format's reader.
    ReadProgress cut;
    std::atomic<bool> finished{false};
    std::thread watcher([&] {
      while (cut.done * 5 < cut.total && !finished) std::this_thread::yield();
      cut.cancel = true;
    });
    const std::string message = ErrorOf(path, &cut);
    finished = true;
    watcher.join();
    EXPECT_EQ(message, path + ": reading cancelled");
    EXPECT_LT(cut.done, cut.total);
  }
}

// ---------------------------------------------------------------------------------------------
// Files that are not regular files, or that change while they are read.

TEST_F(ScanFolder, OnlyRegularFilesAreOpenedAndNeverWaitedOn) {
  fs::create_directory(dir_ / "folder.wrl");
  std::vector<std::pair<std::string, std::string>> cases = {
      {"folder.wrl", "folder.wrl: cannot read the file: not a regular file"},
      {"none.wrl", "none.wrl: cannot read the file: " + kNoSuchFile}};
#ifdef _WIN32
  // A device name, in any folder: reading it would give nothing, or wait.
  cases.push_back({"NUL", "NUL: cannot read the file: not a regular file"});
#else
  // Opening a FIFO for reading would wait for a writer that never comes.
  ASSERT_EQ(::mkfifo((dir_ / "x.wrl").c_str(), 0600), 0);
  cases.push_back({"x.wrl", "x.wrl: cannot read the file: not a regular file"});
  cases.push_back({"/dev/zero", "/dev/zero: cannot read the file: not a regular file"});
#endif
  for (const auto& [name, says] : cases) {
    const std::string message = ErrorOf((dir_ / name).string());
    EXPECT_NE(message.find(says), std::string::npos) << message;
  }
}

// A large file is read in two halves at once: either half may meet the changed end.
TEST_F(ScanFolder, FileThatChangesSizeWhileReadIsRefused) {
  for (const std::string& text : {kV2 + Grid(40), kV2 + std::string(40 << 20, ' ')}) {
    const std::string path = Write("scan.wrl", text), size = std::to_string(text.size());
    const std::uintmax_t late = text.size() * 3 / 4;
    for (const auto& [newSize, says] : std::vector<std::pair<std::uintmax_t, std::string>>{
             {1000, "the file shrank from " + size + " to 1000 bytes while it was read"},
             {late, "the file shrank from " + size + " to " + std::to_string(late) + " bytes"},
             {text.size() + 10, "the file changed size while it was read (" + size +
                                    " bytes when opened, " + std::to_string(text.size() + 10)}}) {
      Write("scan.wrl", text);
      kernelcad::files::ReadOnlyFile file(path);
      fs::resize_file(path, newSize);
      std::string buffer(text.size(), '\0'), message;
      try {
        file.ReadAll(buffer.data(), [](std::uint64_t) {});
      } catch (const kernelcad::files::FileError& e) {
        message = e.what();
      }
      EXPECT_NE(message.find(says), std::string::npos) << message;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Memory: a load holds what its text's size allows, and is refused early with the reason.

TEST_F(ScanFolder, BombsAreRefusedEarlyWithTheReason) {
  std::string nodes = kV2, points = kV2, manyNodes = kV2;
  for (int i = 0; i < 1'000'000; ++i) {
    nodes += "A{}\n";  // draws nothing: let go as soon as read
    points += "Coordinate{}\n";
  }
  for (int i = 0; i < 5'000'000; ++i) manyNodes += "A{}\n";
  // Geometry as dense as the grammar allows: one-digit points, each copied into the mesh through
  // a transform, in faces of one-digit indices. Its memory is let be; only once loaded is it
  // refused, for faces that go round ten points.
  std::string dense = kV2 +
                      "Transform { rotation 0 0 1 1 children Shape { geometry "
                      "IndexedFaceSet { coord Coordinate { point [";
  for (int i = 0; i < 1'000'000; ++i) dense += "1 2 3 4 5 6 7 8 9 ";
  dense += "] } coordIndex [";
  for (int i = 0; i < 300'000; ++i) dense += "0 1 2 3 4 5 6 7 8 9 ";
  dense += "] } } }\n";
  struct Case {
    std::string bytes, message;
    int maxLine;  // the line the load stops at the latest, well before the end; 0: no line
  } cases[] = {
      {nodes, "the file holds no surface geometry", 0},
      {points, "loading would take more than 275.1 MB of memory, too much for 13.0 MB of VRML text",
       800'000},
      {Gzip(manyNodes), "gzip content inflates beyond 16.8 MB from ", 0},
      {Gzip(kV2 + std::string(40'000'000, ' ')), "more than 32 times its compressed size", 0},
      {dense, "the file repeats its triangles", 0},
  };
  for (const Case& c : cases) {
    const std::string message = ErrorOf(Write("bomb.wrl", c.bytes));
    SCOPED_TRACE(message);
    EXPECT_TRUE(c.message.empty() ? message.empty() : message.find(c.message) != std::string::npos);
    const std::size_t at = message.find(", line ");
    EXPECT_EQ(at != std::string::npos, c.maxLine > 0);
    if (at != std::string::npos) {
      EXPECT_LE(std::stoi(message.substr(at + 7)), c.maxLine);
    }
  }
}

}  // namespace
