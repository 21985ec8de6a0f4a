#include "kernelcad/core/mesh_writers.h"

#include <Eigen/Geometry>
#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace kernelcad {
namespace {

void Number(std::string& out, float v) {
  char buf[32];
  out.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

void Binary(std::string& out, std::uint32_t bits, std::size_t bytes, bool bigEndian) {
  for (std::size_t i = 0; i < bytes; ++i) {
    const std::size_t shift = 8 * (bigEndian ? bytes - 1 - i : i);
    out += static_cast<char>((bits >> shift) & 0xff);
  }
}

Eigen::Vector3f Corner(const Mesh& m, std::size_t t, int k) {
  return Eigen::Vector3f::Map(&m.points[3 * static_cast<std::size_t>(m.triangles[3 * t + k])]);
}

Eigen::Vector3f FacetNormal(const Mesh& m, std::size_t t) {
  const Eigen::Vector3f a = Corner(m, t, 0);
  return (Corner(m, t, 1) - a).cross(Corner(m, t, 2) - a).stableNormalized();
}

std::string Stl(const Mesh& m, bool ascii) {
  std::string out;
  if (ascii) {
    out = "solid quarnel\n";
    for (std::size_t t = 0; t < m.triangleCount(); ++t) {
      const Eigen::Vector3f n = FacetNormal(m, t);
      out += "facet normal";
      for (float v : n) Number(out += ' ', v);
      out += "\nouter loop\n";
      for (int k = 0; k < 3; ++k) {
        out += "vertex";
        for (float v : Corner(m, t, k)) Number(out += ' ', v);
        out += '\n';
      }
      out += "endloop\nendfacet\n";
    }
    return out + "endsolid quarnel\n";
  }
  // A binary header must not begin with "solid", or readers take it for text.
  out = "binary STL written by QUARNEL";
  out.resize(80, ' ');
  Binary(out, static_cast<std::uint32_t>(m.triangleCount()), 4, false);
  out.reserve(84 + 50 * m.triangleCount());
  for (std::size_t t = 0; t < m.triangleCount(); ++t) {
    for (float v : FacetNormal(m, t)) Binary(out, std::bit_cast<std::uint32_t>(v), 4, false);
    for (int k = 0; k < 3; ++k) {
      for (float v : Corner(m, t, k)) Binary(out, std::bit_cast<std::uint32_t>(v), 4, false);
    }
    out.append(2, '\0');
  }
  return out;
}

std::string Obj(const Mesh& m) {
  std::string out = "# written by QUARNEL\n";
  for (std::size_t i = 0; i < m.pointCount(); ++i) {
    out += 'v';
    for (int a = 0; a < 3; ++a) Number(out += ' ', m.points[3 * i + a]);
    if (m.hasColors()) {
      for (int a = 0; a < 3; ++a) Number(out += ' ', m.colors[3 * i + a] / 255.0f);
    }
    out += '\n';
  }
  for (std::size_t t = 0; t < m.triangleCount(); ++t) {
    out += 'f';
    for (int k = 0; k < 3; ++k) out += ' ' + std::to_string(m.triangles[3 * t + k] + 1);
    out += '\n';
  }
  return out;
}

std::string Ply(const Mesh& m, ScanFormat format) {
  const bool ascii = format == ScanFormat::PlyAscii, big = format == ScanFormat::PlyBigEndian;
  std::string out = std::string("ply\nformat ") +
                    (ascii ? "ascii"
                     : big ? "binary_big_endian"
                           : "binary_little_endian") +
                    " 1.0\ncomment written by QUARNEL\nelement vertex " +
                    std::to_string(m.pointCount()) +
                    "\nproperty float x\nproperty float y\nproperty float z\n";
  if (m.hasColors()) out += "property uchar red\nproperty uchar green\nproperty uchar blue\n";
  out += "element face " + std::to_string(m.triangleCount()) +
         "\nproperty list uchar int vertex_indices\nend_header\n";
  for (std::size_t i = 0; i < m.pointCount(); ++i) {
    for (int a = 0; a < 3; ++a) {
      if (ascii)
        Number(out, m.points[3 * i + a]), out += ' ';
      else
        Binary(out, std::bit_cast<std::uint32_t>(m.points[3 * i + a]), 4, big);
    }
    for (int a = 0; m.hasColors() && a < 3; ++a) {
      if (ascii)
        out += std::to_string(m.colors[3 * i + a]) + ' ';
      else
        out += static_cast<char>(m.colors[3 * i + a]);
    }
    if (ascii) out.back() = '\n';
  }
  for (std::size_t t = 0; t < m.triangleCount(); ++t) {
    if (ascii) {
      out += '3';
      for (int k = 0; k < 3; ++k) out += ' ' + std::to_string(m.triangles[3 * t + k]);
      out += '\n';
    } else {
      out += '\3';
      for (int k = 0; k < 3; ++k)
        Binary(out, static_cast<std::uint32_t>(m.triangles[3 * t + k]), 4, big);
    }
  }
  return out;
}

}  // namespace

std::string MeshFileBytes(const Mesh& mesh, ScanFormat format) {
  switch (format) {
    case ScanFormat::StlBinary:
      return Stl(mesh, false);
    case ScanFormat::StlAscii:
      return Stl(mesh, true);
    case ScanFormat::Obj:
      return Obj(mesh);
    case ScanFormat::PlyAscii:
    case ScanFormat::PlyLittleEndian:
    case ScanFormat::PlyBigEndian:
      return Ply(mesh, format);
    case ScanFormat::Vrml:
      break;
  }
  throw std::invalid_argument("meshes are not written as VRML");
}

void WriteMeshFile(const Mesh& mesh, ScanFormat format, const std::string& path) {
  const std::string bytes = MeshFileBytes(mesh, format);
  // The name is UTF-8, which Windows' narrow file names are not.
  std::ofstream out(std::filesystem::path(reinterpret_cast<const char8_t*>(path.c_str())),
                    std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace kernelcad
