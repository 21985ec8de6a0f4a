#pragma once

#include <cstdint>

// Every limit the scan reader enforces, in one place. A scan file is untrusted input: these keep
// any file, however crafted, within the time and memory a workstation can spare, while the
// largest real scans stay far inside them. For scale: a 1M-vertex scan is about 120 MB of VRML
// text, its load holds about 1.5 times that at its peak, and it compresses about 3-4 to 1.
namespace kernelcad::vrml {

// Nesting (and DEF/USE chain) depth. Scanner and CAD exports stay below a few dozen levels; the
// parser recurses, and an unoptimised sanitizer build spends ~8 KB of stack per level, so 200
// keeps even that build far from the 8 MB stack.
constexpr int kMaxDepth = 200;

// Text read or inflated: 2 GiB, where int32 triangle indices run out for any real scan; 16
// times the largest real scan.
constexpr std::uint64_t kMaxTextBytes = std::uint64_t{2} << 30;

// Inflating stops past kMaxInflateRatio times the compressed size (or kInflateAllowance, for
// small files). Scans compress 3-4 to 1 and even very regular text stays under 10 to 1, while a
// gzip bomb of blanks or empty nodes compresses 1000 to 1.
constexpr std::uint64_t kMaxInflateRatio = 32;
constexpr std::uint64_t kInflateAllowance = std::uint64_t{16} << 20;

// Memory a load may hold: kMemoryPerTextByte bytes per byte of text parsed plus
// kMemoryAllowance. A scan needs about 1.5 per byte (the text, the parsed lists, the mesh); the
// densest geometry the grammar allows ("0 0 0," points under a transform, long polygons of
// one-digit indices) about 10. Empty nodes cost hundreds of bytes per byte of text, and DEF/USE
// instancing multiplies geometry without adding text: both meet the limit long before the
// machine runs short. The allowance lets small files instance freely.
// The STL, OBJ and PLY readers stay within it by their grammar alone: their densest files (OBJ
// polygons of one-digit indices, 2 bytes a corner; PLY polygons of byte-sized indices) make at
// most 12 bytes of mesh per byte of file.
constexpr std::uint64_t kMemoryPerTextByte = 16;
constexpr std::uint64_t kMemoryAllowance = std::uint64_t{64} << 20;

// PROTO instances: each reads its PROTO's body again, so like DEF/USE a little text can stand
// for a lot. What instances make (text read again, nodes made) is held to kExpansionPerByte
// bytes per byte of text plus kExpansionAllowance, so a file of many small instances reads and
// a few hundred bytes of PROTOs instantiating each other twice over cannot take minutes.
constexpr std::uint64_t kExpansionPerByte = 16;
constexpr std::uint64_t kExpansionAllowance = std::uint64_t{32} << 20;

// Nodes visited while instancing DEF/USE, per byte of text plus an allowance: a few hundred
// bytes of nested USEs can ask for 2^40 visits of nodes that hold nothing at all.
constexpr std::uint64_t kMaxVisitsPerTextByte = 16;
constexpr std::uint64_t kVisitAllowance = std::uint64_t{1} << 24;

}  // namespace kernelcad::vrml
