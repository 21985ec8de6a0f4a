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

#include "kernelcad/core/file_access.h"
#include "kernelcad/core/vrml_reader.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>

#include <cerrno>
#endif

namespace fs = std::filesystem;
using kernelcad::ReadProgress;
using kernelcad::ReadVrmlFile;
using kernelcad::VrmlCancelled;
using kernelcad::VrmlError;
using kernelcad::files::FileError;
using kernelcad::files::ReadOnlyFile;

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

  // The VrmlError message of reading `path`, or "" when it was read.
  static std::string ErrorOf(const std::string& path) {
    try {
      ReadVrmlFile(path);
    } catch (const VrmlError& e) {
      return e.what();
    }
    return "";
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

// ---------------------------------------------------------------------------------------------
// Files that are not regular files, or that change while they are read.

TEST_F(ScanFolder, OnlyRegularFilesAreOpenedAndNeverWaitedOn) {
  const std::string folder = (dir_ / "folder.wrl").string();
  fs::create_directory(folder);
  struct Case {
    std::string path, message;
  } cases[] = {
      {folder, folder + ": cannot read the file: not a regular file"},
      {(dir_ / "none.wrl").string(), "none.wrl: cannot read the file: " + kNoSuchFile},
#ifdef _WIN32
      // A device name: reading it would give nothing, or wait.
      {"NUL", "NUL: cannot read the file: not a regular file"},
#else
      // Opening a FIFO for reading would wait for a writer that never comes.
      {(dir_ / "x.wrl").string(), "x.wrl: cannot read the file: not a regular file"},
      {"/dev/zero", "/dev/zero: cannot read the file: not a regular file"},
#endif
  };
#ifndef _WIN32
  ASSERT_EQ(::mkfifo((dir_ / "x.wrl").c_str(), 0600), 0);
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const std::string message = ErrorOf(c.path);
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
  }
}

TEST_F(ScanFolder, FileThatChangesSizeWhileReadIsRefused) {
  const std::string text = GridScan(40);
  const std::string path = Write("scan.wrl", text);
  const std::string size = std::to_string(text.size());
  struct Case {
    std::uintmax_t newSize;
    std::string message;
  } cases[] = {
      {1000, "the file shrank from " + size + " to 1000 bytes while it was read"},
      {text.size() + 10, "the file changed size while it was read (" + size +
                             " bytes when opened, " + std::to_string(text.size() + 10) + " now"},
  };
  for (const Case& c : cases) {
    Write("scan.wrl", text);
    ReadOnlyFile file(path);
    fs::resize_file(path, c.newSize);
    std::string buffer(text.size(), '\0'), message;
    try {
      file.ReadAll(buffer.data(), [](std::uint64_t) {});
    } catch (const FileError& e) {
      message = e.what();
    }
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
  }

  // Cut short and written again while it is read over and over: each read ends in a scan or
  // a message, never in a signal.
  const std::string big = GridScan(300);
  Write("scan.wrl", big);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (std::uintmax_t cut = big.size() / 2; !stop; cut = cut * 7 % big.size()) {
      fs::resize_file(path, cut);
      std::ofstream(path, std::ios::binary | std::ios::trunc) << big;
    }
  });
  int loaded = 0, refused = 0;
  for (int i = 0; i < 20; ++i) {
    try {
      loaded += ReadVrmlFile(path).mesh.triangleCount() == 2u * 299 * 299;
    } catch (const VrmlError&) {
      ++refused;
    }
  }
  stop = true;
  writer.join();
  EXPECT_EQ(loaded + refused, 20);
}

// ---------------------------------------------------------------------------------------------
// Memory: a load holds what its text's size allows, and is refused early with the reason.

TEST_F(ScanFolder, BombsAreRefusedEarlyWithTheReason) {
  const std::string header = "#VRML V2.0 utf8\n";
  std::string nodes = header;
  for (int i = 0; i < 1'000'000; ++i) nodes += "A{}\n";
  std::string instances = header +
                          "DEF L0 Group { children [ Shape { geometry IndexedFaceSet { coord "
                          "Coordinate { point [0 0 0 1 0 0 0 1 0] } coordIndex [0 1 2] } } ] }\n";
  for (int i = 1; i <= 30; ++i) {
    const std::string use = "USE L" + std::to_string(i - 1) + " ";
    instances += "DEF L" + std::to_string(i) + " Group { children [" + use + use + "] }\n";
  }
  std::string manyNodes = header;
  for (int i = 0; i < 5'000'000; ++i) manyNodes += "A{}\n";
  // Honest geometry as dense as the grammar allows: one-digit points, each copied into the mesh
  // through a transform, in faces of one-digit indices. Loads.
  std::string dense = header +
                      "Transform { rotation 0 0 1 1 children Shape { geometry "
                      "IndexedFaceSet { coord Coordinate { point [";
  for (int i = 0; i < 1'000'000; ++i) dense += "1 2 3 4 5 6 7 8 9 ";
  dense += "] } coordIndex [";
  for (int i = 0; i < 300'000; ++i) dense += "0 1 2 3 4 5 6 7 8 9 ";
  dense += "] } } }\n";
  struct Case {
    std::string name, bytes, message;
    int maxLine;  // the line the load stops at the latest, well before the end; 0: no line
  } cases[] = {
      {"nodes.wrl", nodes,
       "loading would take more than 131.1 MB of memory, too much for 4.0 MB of VRML text",
       400'000},
      {"instances.wrl", instances, "loading would take more than 67.1 MB of memory", 32},
      {"nodes.wrl.gz", Gzip(manyNodes), "gzip content inflates beyond 16.8 MB from ", 0},
      {"blanks.wrl.gz", Gzip(header + std::string(40'000'000, ' ')),
       "more than 32 times its compressed size", 0},
      {"dense.wrl", dense, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string message = ErrorOf(Write(c.name, c.bytes));
    if (c.message.empty()) {
      EXPECT_EQ(message, "");
      continue;
    }
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
    const std::size_t at = message.find(", line ");
    EXPECT_EQ(at != std::string::npos, c.maxLine > 0) << message;
    if (at != std::string::npos) {
      EXPECT_LE(std::stoi(message.substr(at + 7)), c.maxLine);
    }
  }
}

}  // namespace
