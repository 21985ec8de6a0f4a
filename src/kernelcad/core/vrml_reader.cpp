#include "kernelcad/core/vrml_reader.h"

#include <Eigen/Geometry>
#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kernelcad/core/bare_thread.h"
#include "kernelcad/core/file_access.h"
#include "kernelcad/core/vrml_gzip.h"
#include "kernelcad/core/vrml_limits.h"
#include "kernelcad/core/vrml_messages.h"
#include "kernelcad/core/vrml_plain_lists.h"
#include "kernelcad/core/vrml_proto.h"

namespace kernelcad {
namespace {

using vrml::ByteSize;
using vrml::kMaxDepth;
using vrml::Quoted;

enum class Kind : std::uint8_t {
  Other,               // parsed for its DEFs, contributes nothing
  Group,               // VRML 1 Group/Switch-like: children share the parent's state
  Separator,           // saves and restores state; VRML 2 grouping nodes and Transform
  TransformSeparator,  // VRML 1: saves only the transform
  Switch,              // traverses one child (or all for VRML 1 whichChild -3)
  TransformOp,         // VRML 1 Transform/Translation/Rotation/Scale/MatrixTransform
  Coordinate,
  Color,
  IndexedFaceSet,
};

struct Node;
using NodePtr = std::shared_ptr<Node>;

struct Node {
  Kind kind = Kind::Other;
  int line = 0;
  int height = 1;    // longest path to a leaf, DEF/USE included: bounds the traversal depth
  std::string name;  // DEF name, for messages
  std::vector<NodePtr> children;
  // Transform fields (VRML 2 Transform lives in a Separator with hasXf).
  bool hasXf = false;
  Eigen::Vector3d translation = Eigen::Vector3d::Zero();
  Eigen::Vector4d rotation{0, 0, 1, 0};
  Eigen::Vector3d scale = Eigen::Vector3d::Ones();
  Eigen::Vector4d scaleOrientation{0, 0, 1, 0};
  Eigen::Vector3d center = Eigen::Vector3d::Zero();
  std::array<double, 16> matrix{};
  bool hasMatrix = false;
  Eigen::Affine3d xf = Eigen::Affine3d::Identity();
  int which = -1;  // Switch
  // Coordinate / Color, in single precision as the mesh keeps its points
  std::vector<float> values;
  mutable int uses =
      0;  // instances: of an IndexedFaceSet, or of those drawing from this point list
  // IndexedFaceSet
  NodePtr coord, color;
  std::vector<std::int32_t> coordIndex, colorIndex;
  bool colorPerVertex = true;
  std::int64_t triangleCount = 0;  // of coordIndex, counted while reading it
  bool onlyTriangles = true;       // every face of coordIndex is a triangle ended by -1
  std::int32_t maxIndex = -1;
  int maxIndexLine = 0;
  std::int32_t minIndex = -1;
  int minIndexLine = 0;
};

// The values one PROTO instance gives its fields, found by IS while its body is read.
struct Binding {
  bool set = false;            // events and unset fields have no value
  vrml::Span text;             // a value other than nodes: read again wherever IS names it
  std::vector<NodePtr> nodes;  // SFNode or MFNode: read once, shared by every IS naming it
};

struct Instance {
  std::shared_ptr<vrml::Proto> proto;
  std::vector<Binding> values;  // by field index
};

using vrml::ClassOf;
using vrml::kBinary;
using vrml::kNumStart;
using vrml::kSpace;
using vrml::kWord;
using vrml::SkipBlanks;

// One character of the file, for messages.
std::string Printable(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u >= 0x21 && u < 0x7f) return Quoted({&c, 1});
  char buf[16];
  std::snprintf(buf, sizeof buf, "byte 0x%02x", u);
  return buf;
}

// Memory a load holds, charged as it grows: the parsed nodes and lists, the text, the mesh. The
// load is refused as soon as it would hold more than its text's size allows (vrml_limits.h).
class Budget {
 public:
  Budget(const std::string& fileName, std::uint64_t textBytes)
      : file_(fileName),
        text_(textBytes),
        limit_(vrml::kMemoryPerTextByte * textBytes + vrml::kMemoryAllowance) {}

  void Charge(std::uint64_t bytes, int line) {
    held_ += bytes;
    if (held_ <= limit_) return;
    throw ScanError(file_ + ", line " + std::to_string(line) + ": loading would take more than " +
                    ByteSize(limit_) + " of memory, too much for " + ByteSize(text_) +
                    " of VRML text (far more nodes or instanced geometry than a scan holds); "
                    "refused");
  }

  void Refund(std::uint64_t bytes) { held_ -= bytes; }  // memory charged and since let go

  std::uint64_t text() const { return text_; }

 private:
  const std::string& file_;
  std::uint64_t text_;
  std::uint64_t limit_;
  std::uint64_t held_ = 0;
};

// What one parsed node holds beyond its own size: the allocation's header and shared count, and
// the pointer to it in its parent's list (whose capacity may be twice its size).
constexpr std::uint64_t kNodeOverhead = 64;

Eigen::Matrix3d AxisAngle(const Eigen::Vector4d& r) {
  const Eigen::Vector3d axis = r.head<3>();
  const double n = axis.norm();
  if (n == 0.0 || r[3] == 0.0) return Eigen::Matrix3d::Identity();
  return Eigen::AngleAxisd(r[3], axis / n).toRotationMatrix();
}

// T * C * R * SR * S * -SR * -C, the transform order both VRML versions define.
Eigen::Affine3d ComposeTransform(const Node& n) {
  if (n.hasMatrix) {
    Eigen::Affine3d a = Eigen::Affine3d::Identity();
    // Stored row by row with row vectors (translation in the last row): transpose.
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) a.matrix()(r, c) = n.matrix[std::size_t(c) * 4 + std::size_t(r)];
    }
    return a;
  }
  const Eigen::Matrix3d sr = AxisAngle(n.scaleOrientation);
  Eigen::Affine3d a = Eigen::Affine3d::Identity();
  a.translate(n.translation + n.center);
  a.rotate(AxisAngle(n.rotation));
  a.rotate(sr);
  a.scale(n.scale);
  a.rotate(sr.transpose());
  a.translate(-n.center);
  return a;
}

// Shares of a read in progress, measured on a 1M-vertex scan: inflating takes about as long as
// parsing.
constexpr double kInflateShare = 0.5, kParseEnd = 0.9;

class Parser {
 public:
  // firstLine: the line `text` starts on, so messages count from the header line.
  // ownsText: the text is the reader's own copy, so parsed text may be given back as it goes.
  Parser(std::string_view text, const std::string& fileName, bool v1, int firstLine, Meter& meter,
         Budget& budget, bool ownsText)
      : p_(text.data()),
        end_(text.data() + text.size()),
        begin_(p_),
        tick_(p_),
        released_(p_),
        keep_(end_),
        ownsText_(ownsText),
        line_(firstLine),
        file_(fileName),
        v1_(v1),
        meter_(meter),
        budget_(budget),
        expansionLimit_(vrml::kExpansionPerByte * text.size() + vrml::kExpansionAllowance) {}

  // Parses everything after the header line.
  std::vector<NodePtr> ParseScene() { return Statements(0, false); }

  // Names quoted from the file may hold any bytes: the message is escaped as a whole too.
  [[noreturn]] void Fail(int line, const std::string& what) const {
    throw ScanError(file_ + ", line " + std::to_string(line) + ": " +
                    vrml::Escaped(what, what.size()));
  }

 private:
  // Nodes and statements to the end of the text. A PROTO body stops at its first node: that
  // node is what an instance is; the rest of a body only serves events, which a scan ignores.
  std::vector<NodePtr> Statements(int depth, bool firstOnly) {
    std::vector<NodePtr> nodes;
    for (;;) {
      SkipSpace();
      if (p_ == end_) break;
      const char c = *p_;
      if (c == '}' || c == ']') Fail(line_, "unbalanced '" + std::string(1, c) + "' at top level");
      if (!(ClassOf(c) & kWord) || (ClassOf(c) & kNumStart)) {
        Fail(line_, "expected a node, found " + Printable(c));
      }
      const int line = line_;
      const std::string_view word = Word();
      if (Statement(word, line)) continue;
      NodePtr n = ParseNode(word, line, depth);
      if (firstOnly && n) {
        nodes.push_back(std::move(n));
        break;
      }
      Keep(nodes, std::move(n));
    }
    return nodes;
  }

  // Progress is reported, and cancel checked, each time the parser passes tick_: every
  // kTickBytes of text, a few milliseconds apart even on text that parses slowly.
  static constexpr std::ptrdiff_t kTickBytes = 256 << 10;

  void Tick() {
    meter_.At(static_cast<std::uint64_t>(p_ - begin_));
    tick_ = p_ + std::min(kTickBytes, end_ - p_);
    // Text parsed long enough ago (a token in progress may reach back) is given back: the
    // parsed lists grow while the text shrinks, so a scan's load peaks near its file's size
    // rather than at the file plus its lists.
    constexpr std::ptrdiff_t kMargin = 4 * kTickBytes, kStep = 8 << 20;
    const std::ptrdiff_t upto = std::min(p_ - begin_ - kMargin, keep_ - begin_);
    if (ownsText_ && upto - (released_ - begin_) >= kStep) {
      files::ReleasePages(released_, static_cast<std::size_t>(upto - (released_ - begin_)));
      released_ = begin_ + upto;
    }
  }

  // True while text is left; the loops that walk the text char by char call it, so it ticks.
  bool More() {
    if (p_ < tick_) return true;
    if (p_ == end_) return false;
    Tick();
    return true;
  }

  void SkipSpace() {
    while (More()) {
      const char c = *p_;
      if (c == '\n') {
        ++line_;
        ++p_;
      } else if (ClassOf(c) & kSpace) {
        ++p_;
      } else if (c == '#') {
        const void* nl = std::memchr(p_, '\n', static_cast<std::size_t>(end_ - p_));
        p_ = nl ? static_cast<const char*>(nl) : end_;
      } else if (ClassOf(c) & kBinary) {
        Fail(line_, "binary data (" + Printable(c) + ") where text was expected");
      } else {
        return;
      }
    }
  }

  // Next significant character, 0 at end of input.
  char Peek() {
    SkipSpace();
    return p_ == end_ ? '\0' : *p_;
  }

  // The next word, left in place.
  std::string_view PeekWord() {
    SkipSpace();
    const char* e = p_;
    while (e != end_ && (ClassOf(*e) & kWord)) ++e;
    return {p_, static_cast<std::size_t>(e - p_)};
  }

  std::string_view Word() {
    const std::string_view w = PeekWord();
    p_ += w.size();
    return w;
  }

  // Takes the next word when it is `w`.
  bool TakeWord(std::string_view w) {
    if (PeekWord() != w) return false;
    p_ += w.size();
    return true;
  }

  std::string_view Name(const char* what) {
    const int line = line_;
    std::string_view w = Word();
    if (w.empty()) {
      if (p_ == end_) Fail(line, "unexpected " + endOf_ + ", expected " + what);
      Fail(line_, std::string("expected ") + what + ", found " + Printable(*p_));
    }
    return w;
  }

  void Expect(char c, const std::string& context) {
    const char got = Peek();
    if (got == c) {
      ++p_;
      return;
    }
    if (got == '\0')
      Fail(line_, "unexpected " + endOf_ + ", expected '" + std::string(1, c) + "' " + context);
    Fail(line_, "expected '" + std::string(1, c) + "' " + context + ", found " + Printable(got));
  }

  [[noreturn]] void Truncated(const std::string& inside, int startLine) {
    Fail(line_, "unexpected end of file inside " + inside + " started on line " +
                    std::to_string(startLine) + " (file truncated?)");
  }

  // PROTO declares a prototype; EXTERNPROTO (never fetched: its instances read as unknown
  // nodes) and ROUTE are skipped. They may stand wherever a node may. False for other words.
  bool Statement(std::string_view word, int line) {
    if (word == "PROTO") {
      DeclareProto(line);
      return true;
    }
    if (word == "EXTERNPROTO") {
      const std::string name(Name("an EXTERNPROTO name"));
      SkipBalanced('[', ']', "EXTERNPROTO interface", line);
      if (Peek() == '[') {
        SkipBalanced('[', ']', "EXTERNPROTO url list", line);
      } else {
        SkipString();
      }
      scope_->protos[name] = nullptr;
      return true;
    }
    if (word == "ROUTE") {
      Name("a ROUTE source");
      if (Name("TO") != "TO") Fail(line, "malformed ROUTE (expected TO)");
      Name("a ROUTE destination");
      return true;
    }
    return false;
  }

  void SkipString() {
    const int start = line_;
    Expect('"', "to open a string");
    for (;;) {
      if (!More()) Truncated("a string", start);
      const char c = *p_++;
      if (c == '"') return;
      if (c == '\n') ++line_;
      if (c == '\\' && p_ != end_) {
        if (*p_ == '\n') ++line_;
        ++p_;
      } else if (c == '\0') {
        Fail(line_, "binary data (byte 0x00) inside a string");
      }
    }
  }

  // Skips text between matching brackets, minding strings and comments; nothing is parsed.
  void SkipBalanced(char open, char close, const char* what, int startLine) {
    Expect(open, std::string("to open the ") + what);
    std::vector<char> stack{close};
    while (!stack.empty()) {
      const char c = Peek();
      if (c == '\0') Truncated(what, startLine);
      if (c == '"') {
        SkipString();
      } else if (c == '[' || c == '{') {
        if (stack.size() > static_cast<std::size_t>(kMaxDepth)) {
          Fail(line_, "brackets nested deeper than " + std::to_string(kMaxDepth) + " levels");
        }
        stack.push_back(c == '[' ? ']' : '}');
        ++p_;
      } else if (c == ']' || c == '}') {
        if (c != stack.back()) {
          Fail(line_, std::string("unbalanced '") + c + "' inside " + what + " (expected '" +
                          stack.back() + "')");
        }
        stack.pop_back();
        ++p_;
      } else if (ClassOf(c) & kWord) {
        Word();
      } else {
        ++p_;  // '(' ')' '\\' have no meaning here
      }
    }
  }

  [[noreturn]] void BadNumber(const char* what) {
    if (p_ == end_) Fail(line_, "unexpected " + endOf_ + ", expected " + what);
    std::string_view tok{
        p_, static_cast<std::size_t>(std::find_if(p_, std::min(end_, p_ + 48),
                                                  [](char ch) { return !(ClassOf(ch) & kWord); }) -
                                     p_)};
    if (tok.empty()) Fail(line_, std::string("expected ") + what + ", found " + Printable(*p_));
    Fail(line_, std::string("expected ") + what + ", found " + Quoted(tok));
  }

  bool AtDelimiter() const { return p_ == end_ || !(ClassOf(*p_) & kWord) || *p_ == ','; }

  double Double(const char* what) {
    SkipSpace();
    const char* s = p_;
    if (s != end_ && *s == '+') ++s;
    double v = 0;
    const auto [ptr, ec] = std::from_chars(s, end_, v);
    if (ec == std::errc::invalid_argument) BadNumber(what);
    const char* old = p_;
    p_ = ptr;
    if (!AtDelimiter()) {
      p_ = old;
      BadNumber(what);
    }
    if (ec == std::errc::result_out_of_range) {
      // from_chars leaves the value untouched here; strtod tells overflow from underflow.
      const std::string tok(old, ptr);
      v = std::strtod(tok.c_str(), nullptr);
      if (std::isfinite(v)) return v;
    }
    if (!std::isfinite(v)) {
      Fail(line_, "NaN or infinite value " + Quoted({old, static_cast<std::size_t>(ptr - old)}) +
                      " in " + what);
    }
    return v;
  }

  std::int32_t Int(const char* what) {
    SkipSpace();
    const char* s = p_;
    bool neg = false;
    if (s != end_ && (*s == '-' || *s == '+')) neg = *s++ == '-';
    if (s == end_ || *s < '0' || *s > '9') BadNumber(what);
    std::int64_t v = 0;
    while (s != end_ && *s >= '0' && *s <= '9') {
      v = v * 10 + (*s++ - '0');
      if (v > std::numeric_limits<std::int32_t>::max())
        Fail(line_, std::string(what) + " is too large");
    }
    const char* old = p_;
    p_ = s;
    if (!AtDelimiter()) {
      p_ = old;
      BadNumber(what);
    }
    return static_cast<std::int32_t>(neg ? -v : v);
  }

  bool Bool(const char* what) {
    const int line = line_;
    const std::string_view w = Name(what);
    if (w == "TRUE") return true;
    if (w == "FALSE") return false;
    Fail(line, std::string("expected TRUE or FALSE for ") + what + ", found " + Quoted(w));
  }

  template <int N>
  void Fixed(double* out, const char* what) {
    for (int i = 0; i < N; ++i) out[i] = Double(what);
  }

  // A number kept in single precision; one beyond its range (some 3e38, far beyond anything
  // scanned in any unit) is refused rather than made infinite.
  float Single(const char* what) {
    const double v = Double(what);
    if (std::abs(v) > std::numeric_limits<float>::max()) OutOfRange(what, v);
    return static_cast<float>(v);
  }

  [[noreturn]] void OutOfRange(const char* what, double v) const {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, v, std::chars_format::general, 6).ptr;
    Fail(line_, std::string(what) + " value " + std::string(text, end) + " is out of range");
  }

  // MF field of numbers, tuples of `arity`. A single value may come without brackets.
  void FloatList(std::vector<float>& out, int arity, const char* what) {
    out.clear();
    if (Peek() != '[') {
      for (int i = 0; i < arity; ++i) out.push_back(Single(what));
      return;
    }
    const auto take = [&](const vrml::NumberRun& r, const float* values) {
      out.insert(out.end(), values, values + r.count);
      line_ += r.lines;
      p_ = r.end;
    };
    // Numbers take at least 2 bytes each; real files use 6-12.
    BracketList(out, 4, what, vrml::ScanPlainNumbers, true, take,
                [&] { out.push_back(Single(what)); });
    if (out.size() % static_cast<std::size_t>(arity) != 0) {
      Fail(line_, std::string("the ") + what + " list holds " + std::to_string(out.size()) +
                      " numbers, not a multiple of " + std::to_string(arity));
    }
  }

  // The longest run of plain values read at once on this thread, and the room its values need:
  // a run stops at the first value that begins past its end.
  static constexpr std::ptrdiff_t kRunBytes = 64 << 10;
  static constexpr std::size_t kRunRoom = kRunBytes / 2 + 2;

  // A bracketed list from its '[' at p_ to its ']'. `scan` reads runs of plain values from p_
  // on, which `take(run, values)` takes over, moving p_ to the run's end; `slow` reads one
  // element the general way, which also reports malformed numbers and a list cut off.
  // `minBytes` is the fewest bytes an element takes. A long list may be `share`d with another
  // thread, which reads it from its back while this one reads from its front.
  template <typename T, typename Run, typename Take, typename Slow>
  void BracketList(std::vector<T>& out, std::size_t minBytes, const char* what,
                   Run (*scan)(const char*, const char*, T*, const std::atomic<bool>&),
                   bool share, Take take, Slow slow) {
    const int start = line_;
    ++p_;
    vrml::SharedList<T, Run> shared(scan);
    // A short list's end is found here; a long one's by the thread that shares it, meanwhile.
    const char* stop = NextClose(vrml::SharedList<T, Run>::kShareBytes);
    const char* ask = !stop && share ? shared.Start(p_, end_) : nullptr;
    if (!stop && !ask) stop = NextClose(end_ - p_);
    std::size_t charged = 0;  // elements charged to the budget so far
    const auto charge = [&] {
      budget_.Charge((out.size() - charged) * sizeof(T), line_);
      charged = out.size();
    };
    // Capacity nobody writes to stays untouched virtual memory, so a generous guess costs no
    // RSS and saves regrowth copies.
    out.reserve(static_cast<std::size_t>((stop ? stop : end_) - p_) / minBytes);
    files::AdviseHugePages(out.data(), out.capacity() * sizeof(T));
    const auto scratch = std::make_unique_for_overwrite<T[]>(kRunRoom);
    for (;;) {
      if (p_ >= tick_) {
        Tick();
        charge();
      }
      if (stop && p_ > stop) stop = NextClose(end_ - p_);  // that ']' sat in a comment
      if (!stop && !ask) {
        // No ']' left: the list is cut off; the general path reports where.
        SkipSpace();
        if (p_ == end_) Truncated(std::string("the ") + what + " list", start);
        slow();
        continue;
      }
      // A run of blanks past tick_ ends there; the general path below takes the rest.
      p_ = SkipBlanks(p_, tick_, line_);
      if (ask && p_ >= ask) {
        const T* values = nullptr;
        while (const Run* r = shared.Arrive(p_, values)) take(*r, values);
        ask = shared.next();
        if (!stop) stop = shared.end();
        continue;
      }
      const char c = *p_;
      if (c == ']') {
        ++p_;
        charge();
        return;
      }
      if (c == '#') {
        SkipSpace();
        continue;
      }
      const char* limit = std::min(tick_, ask ? ask : stop);
      const Run r = scan(p_, p_ + std::min(limit - p_, kRunBytes), scratch.get(), vrml::kNoCancel);
      take(r, scratch.get());
      if (r.count == 0) slow();
    }
  }

  // The next ']' among the `within` bytes from p_ on, nullptr when there is none.
  const char* NextClose(std::ptrdiff_t within) const {
    return static_cast<const char*>(
        std::memchr(p_, ']', static_cast<std::size_t>(std::min(within, end_ - p_))));
  }

  // coordIndex also counts the triangles of its faces while reading, and notes whether every
  // face is a -1-terminated triangle: then the mesh can take the list over by compaction.
  void IndexList(Node& n, std::vector<std::int32_t>& out, bool track, const char* what) {
    out.clear();
    std::int64_t triangles = 0;
    std::int64_t run = 0;
    bool onlyTriangles = true;
    auto take = [&](std::int32_t v) {
      out.push_back(v);
      if (!track) return;
      if (v >= 0) {
        ++run;
        if (v > n.maxIndex) {
          n.maxIndex = v;
          n.maxIndexLine = line_;
        }
        return;
      }
      triangles += std::max<std::int64_t>(run - 2, 0);
      onlyTriangles = onlyTriangles && run == 3;
      run = 0;
      if (v < n.minIndex) {
        n.minIndex = v;
        n.minIndexLine = line_;
      }
    };
    auto finish = [&] {
      if (!track) return;
      n.triangleCount = triangles + std::max<std::int64_t>(run - 2, 0);
      n.onlyTriangles = onlyTriangles && (run == 0 || run == 3);
    };
    if (Peek() != '[') {
      take(Int(what));
      finish();
      return;
    }
    // Takes a run of plain indices from p_ on over, as if they had been read one by one.
    const auto merge = [&](const vrml::IndexRun& r, const std::int32_t* values) {
      out.insert(out.end(), values, values + r.count);
      if (track) {
        if (r.maxIndex > n.maxIndex) {
          n.maxIndex = r.maxIndex;
          n.maxIndexLine = line_ + r.maxIndexLine;
        }
        if (r.minIndex < n.minIndex) {
          n.minIndex = r.minIndex;
          n.minIndexLine = line_ + r.minIndexLine;
        }
        if (r.faceEnded) {
          // The face open before the run, then the run's own.
          triangles += std::max<std::int64_t>(run + r.lead - 2, 0) + r.triangles;
          onlyTriangles = onlyTriangles && run + r.lead == 3 && r.onlyTriangles;
          run = r.tail;
        } else {
          run += r.lead;
        }
      }
      line_ += r.lines;
      p_ = r.end;
    };
    // Plain indices and the -1 face ends are nearly all of a scan; only coordIndex is long
    // enough to share.
    BracketList(out, 2, what, vrml::ScanPlainIndices, track, merge, [&] { take(Int(what)); });
    finish();
  }

  // One node value: DEF/USE/NULL or a node. Returns nullptr for NULL.
  NodePtr NodeValue(int depth) {
    const int line = line_;
    const std::string_view w = Name("a node");
    return ParseNode(w, line, depth);
  }

  // A field holding nodes: one node, NULL, or a bracketed list of them. `positional`: the list
  // is picked from by index (a Switch's), so nodes that draw nothing keep their places.
  void NodeList(std::vector<NodePtr>& out, int depth, bool positional = false) {
    if (Peek() != '[') {
      Keep(out, NodeValue(depth), positional);
      return;
    }
    const int start = line_;
    ++p_;
    for (;;) {
      const char c = Peek();
      if (c == '\0') Truncated("a node list", start);
      if (c == ']') {
        ++p_;
        return;
      }
      const int line = line_;
      const std::string_view w = Name("a node");
      if (Statement(w, line)) continue;
      Keep(out, ParseNode(w, line, depth), positional);
    }
  }

  // Adds a parsed node to a list of children. Nodes that draw nothing (unknown or empty) are let
  // go unless a DEF holds them, so a file of millions of empty nodes holds no more than its text.
  void Keep(std::vector<NodePtr>& out, NodePtr n, bool positional = false) {
    if (!n) return;
    if (positional) return out.push_back(std::move(n));
    const bool grouping = n->kind == Kind::Group || n->kind == Kind::Separator ||
                          n->kind == Kind::TransformSeparator || n->kind == Kind::Switch;
    if (n->kind != Kind::Other && !(grouping && n->children.empty())) {
      out.push_back(std::move(n));
    } else if (n.use_count() == 1) {
      budget_.Refund(sizeof(Node) + kNodeOverhead);
    }
  }

  // Skips the value of a field we do not use: numbers, strings, enums, (bit|masks), IS refs,
  // nodes (parsed so their DEFs stay usable, unless `parseNodes` is false) or bracketed lists of
  // any of these.
  void SkipValue(int depth, int startLine, bool parseNodes = true) {
    const char c = Peek();
    if (c == '\0' || c == '}' || c == ']') return;  // field without value (interface declarations)
    if (c == '"') {
      SkipString();
    } else if (c == '(') {
      while (More() && *p_ != ')') {
        if (*p_ == '\n') ++line_;
        if ((ClassOf(*p_) & kBinary) || *p_ == '{' || *p_ == '}') break;
        ++p_;
      }
      Expect(')', "to close a bit mask");
    } else if (c == '[') {
      ++p_;
      for (;;) {
        const char d = Peek();
        if (d == '\0') Truncated("a list", startLine);
        if (d == ']') {
          ++p_;
          return;
        }
        if (d == '"') {
          SkipString();
        } else if (ClassOf(d) & kNumStart) {
          Word();
        } else if (ClassOf(d) & kWord) {
          const int line = line_;
          const std::string_view w = Word();
          if (IsNodeStart(w)) SkipNode(w, line, depth, parseNodes);
        } else {
          Fail(line_, "unexpected " + Printable(d) + " inside a list");
        }
      }
    } else if (ClassOf(c) & kNumStart) {
      while (ClassOf(Peek()) & kNumStart) Word();
    } else if (ClassOf(c) & kWord) {
      const int line = line_;
      const std::string_view w = Word();
      if (w == "IS") {
        Bound(line);
      } else if (IsNodeStart(w)) {
        SkipNode(w, line, depth, parseNodes);
      }
    } else {
      Fail(line_, "unexpected " + Printable(c) + " where a field value was expected");
    }
  }

  // A node value whose first word `w` is taken: parsed, or only stepped over.
  void SkipNode(std::string_view w, int line, int depth, bool parse) {
    if (parse) {
      ParseNode(w, line, depth);
    } else if (w == "USE") {
      Name("a name after USE");
    } else if (w != "NULL") {
      if (w == "DEF") {
        Name("a name after DEF");
        Name("a node type");
      }
      SkipBalanced('{', '}', "node", line);
    }
  }

  // The value at p_ as text to read again later.
  vrml::Span ValueSpan(const std::string& field, int line) {
    // A value read again must not lead back to an IS, or reading it might never end.
    if (PeekWord() == "IS") Fail(line_, "IS in the value of field '" + field + "'");
    vrml::Span s{p_, p_, line_};
    SkipValue(0, line, false);
    s.end = p_;
    if (s.size() == 0) Fail(line_, "expected a value for field '" + field + "'");
    return s;
  }

  // The text between brackets that match, from the opening one at p_ on.
  vrml::Span BracketedSpan(char open, char close, const char* what, int line) {
    Peek();
    const char* begin = p_;
    const int firstLine = line_;
    SkipBalanced(open, close, what, line);
    return {begin + 1, p_ - 1, firstLine};
  }

  // Reads `s` with this parser, then goes on where it was; `what` names the end of `s` in
  // messages. On failure the parse ends anyway.
  template <typename Read>
  void Reread(const vrml::Span& s, std::string what, Read read) {
    const char* const p = p_;
    const char* const end = end_;
    const int line = line_;
    p_ = s.begin;
    end_ = s.end;
    line_ = s.line;
    tick_ = p_;  // the next step ticks, and so measures from the new p_ and end_
    what = "end of " + what;
    endOf_.swap(what);
    read();
    endOf_.swap(what);
    p_ = p;
    end_ = end;
    line_ = line;
    tick_ = p_;
  }

  void Charge(std::uint64_t amount, int line) {
    expanded_ += amount;
    if (expanded_ > expansionLimit_) {
      Fail(line, "PROTO instances expand beyond a sane size for this file");
    }
  }

  static bool IsDeclaration(std::string_view w) {
    return w == "field" || w == "exposedField" || w == "eventIn" || w == "eventOut";
  }

  struct Declared {
    std::string name;
    bool node;
    bool event;
  };

  // The type and name after field, exposedField, eventIn or eventOut.
  Declared DeclarationHead(std::string_view keyword, int line) {
    const std::string_view type = Name("a field type");
    if (!type.starts_with("SF") && !type.starts_with("MF")) {
      Fail(line, "expected a field type after " + std::string(keyword) + ", found " + Quoted(type));
    }
    const bool node = type == "SFNode" || type == "MFNode";
    return {std::string(Name("a field name")), node, keyword.starts_with("event")};
  }

  // A Script's own fields and events, with their values; inside a PROTO body each may be
  // bound by IS instead.
  void Declaration(std::string_view keyword, int line, int depth) {
    const Declared d = DeclarationHead(keyword, line);
    if (TakeWord("IS")) {
      Bound(line);
    } else if (d.node && !d.event) {
      std::vector<NodePtr> unused;  // read for the DEFs they hold
      NodeList(unused, depth);
    } else if (!d.event) {
      SkipValue(depth, line);
    }
  }

  // PROTO name [ interface ] { body }: kept, to be read again for each instance.
  void DeclareProto(int line) {
    keep_ = std::min(keep_, p_);  // its defaults and body are read again for each instance
    auto proto = std::make_shared<vrml::Proto>();
    proto->name = Name("a PROTO name");
    proto->outer = scope_;
    Expect('[', "to open the interface of PROTO " + proto->name);
    for (;;) {
      const char c = Peek();
      if (c == '\0') Truncated("the interface of PROTO " + proto->name, line);
      if (c == ']') {
        ++p_;
        break;
      }
      const int declLine = line_;
      const std::string_view keyword = Name("field, exposedField, eventIn or eventOut");
      if (!IsDeclaration(keyword)) {
        Fail(declLine,
             "expected field, exposedField, eventIn or eventOut in the interface of "
             "PROTO " +
                 proto->name + ", found " + Quoted(keyword));
      }
      Declared d = DeclarationHead(keyword, declLine);
      vrml::ProtoField f{std::move(d.name), d.node, d.event, {}};
      if (!f.event) {
        if (Peek() == ']' || IsDeclaration(PeekWord())) {
          Fail(line_, "field '" + f.name + "' of PROTO " + proto->name + " has no default value");
        }
        f.value = ValueSpan(f.name, declLine);
      }
      proto->fields.push_back(std::move(f));
    }
    proto->body = BracketedSpan('{', '}', "PROTO body", line);
    std::string name = proto->name;
    scope_->protos[std::move(name)] = std::move(proto);
  }

  // The interface field named after IS, and the value the instance being read gives it.
  std::pair<const vrml::ProtoField*, Binding*> Bound(int line) {
    const std::string_view name = Name("an interface field name after IS");
    if (!instance_) Fail(line, "IS outside a PROTO body");
    const vrml::Proto& proto = *instance_->proto;
    const int k = proto.Find(name);
    if (k < 0) {
      Fail(line, "IS names " + Quoted(name) + ", which PROTO " + proto.name + " does not declare");
    }
    return {&proto.fields[std::size_t(k)], &instance_->values[std::size_t(k)]};
  }

  // An instance, its '{' taken: its field values, then its PROTO's body read with them. The
  // body has its own DEF names and PROTO scope; the caller's come back afterwards.
  NodePtr Instantiate(std::shared_ptr<vrml::Proto> proto, int line, int depth) {
    if (proto->active) Fail(line, "PROTO " + proto->name + " contains an instance of itself");
    Instance inst{proto, std::vector<Binding>(proto->fields.size())};
    for (;;) {
      const char c = Peek();
      if (c == '\0') Truncated(proto->name + " node", line);
      if (c == '}') {
        ++p_;
        break;
      }
      const int fieldLine = line_;
      const std::string_view name = Name("a field name");
      const int k = proto->Find(name);
      if (k < 0) {
        Fail(fieldLine, "PROTO " + proto->name + " has no field " + Quoted(name));
      }
      const vrml::ProtoField& f = proto->fields[std::size_t(k)];
      Binding& b = inst.values[std::size_t(k)];
      if (TakeWord("IS")) {
        const auto [outerField, outerValue] = Bound(fieldLine);
        if (outerField->node != f.node) {
          Fail(fieldLine, "field '" + f.name + "' of PROTO " + proto->name + " and IS '" +
                              outerField->name + "' differ in type");
        }
        b = *outerValue;
        continue;
      }
      if (f.event) Fail(fieldLine, "'" + f.name + "' of PROTO " + proto->name + " is an event");
      b.set = true;
      b.nodes.clear();
      if (f.node) {
        NodeList(b.nodes, depth, true);  // IS may hand it to a Switch
      } else {
        b.text = ValueSpan(f.name, fieldLine);
      }
    }
    Charge(proto->body.size(), line);
    vrml::Scope body{proto->outer, {}};
    vrml::Scope* const outerScope = std::exchange(scope_, &body);
    Instance* const outerInstance = std::exchange(instance_, &inst);
    std::unordered_map<std::string, NodePtr> defs;
    defs_.swap(defs);
    proto->active = true;
    for (std::size_t k = 0; k < proto->fields.size(); ++k) {
      const vrml::ProtoField& f = proto->fields[k];
      Binding& b = inst.values[k];
      if (b.set || f.event) continue;
      b.set = true;
      if (f.node) {
        Reread(f.value, "the default of '" + f.name + "'", [&] { NodeList(b.nodes, depth, true); });
      } else {
        b.text = f.value;
      }
    }
    NodePtr node;
    Reread(proto->body, "the body of PROTO " + proto->name, [&] {
      std::vector<NodePtr> first = Statements(depth, true);
      if (!first.empty()) node = std::move(first.front());
    });
    proto->active = false;
    defs_.swap(defs);
    instance_ = outerInstance;
    scope_ = outerScope;
    return node;
  }

  // Where a node-valued field keeps its nodes: a list, one slot, or nowhere (nothing drawn).
  struct Slot {
    std::vector<NodePtr>* list = nullptr;
    NodePtr* one = nullptr;
  };

  Slot NodeSlot(Node& n, const std::string& type, std::string_view f) const {
    if (v1_) return {};
    switch (n.kind) {
      case Kind::Separator:
        if (f == "children" || (type == "Shape" && f == "geometry")) return {&n.children};
        break;
      case Kind::Switch:
        if (f == "choice" || f == "level") return {&n.children};
        break;
      case Kind::IndexedFaceSet:
        if (f == "coord") return {nullptr, &n.coord};
        if (f == "color") return {nullptr, &n.color};
        break;
      default:
        break;
    }
    return {};
  }

  // `f IS name` in a PROTO body: the instance's value for name, or the PROTO's default.
  void FieldIs(Node& n, const std::string& type, std::string_view f, int line, int depth) {
    const auto [field, value] = Bound(line);
    if (!value->set) return;  // an event: the field keeps its own default
    if (field->node) {
      const Slot slot = NodeSlot(n, type, f);
      if (slot.list) slot.list->insert(slot.list->end(), value->nodes.begin(), value->nodes.end());
      if (slot.one) *slot.one = value->nodes.empty() ? nullptr : value->nodes.front();
      return;
    }
    Charge(value->text.size(), line);
    Reread(value->text, "the value of '" + field->name + "'", [&, field = field] {
      Field(n, type, f, line, depth);
      if (Peek() != '\0') {
        Fail(line_, "the value of '" + field->name + "' does not fit field " + std::string(f) +
                        " of " + type + " (found " + Printable(*p_) + ")");
      }
    });
  }

  bool IsNodeStart(std::string_view w) {
    return w == "DEF" || w == "USE" || w == "NULL" || Peek() == '{';
  }

  static Kind KindOf(std::string_view type, bool v1, Node& n) {
    if (type == "IndexedFaceSet") return Kind::IndexedFaceSet;
    if (v1) {
      if (type == "Separator" || type == "WWWAnchor") return Kind::Separator;
      if (type == "Group") return Kind::Group;
      if (type == "TransformSeparator") return Kind::TransformSeparator;
      if (type == "Switch") return Kind::Switch;
      if (type == "LOD") {
        n.which = 0;  // the most detailed level
        return Kind::Switch;
      }
      if (type == "Coordinate3") return Kind::Coordinate;
      if (type == "Transform" || type == "Translation" || type == "Rotation" || type == "Scale" ||
          type == "MatrixTransform") {
        return Kind::TransformOp;
      }
      return Kind::Other;
    }
    if (type == "Transform" || type == "Group" || type == "Shape" || type == "Anchor" ||
        type == "Billboard" || type == "Collision") {
      return Kind::Separator;
    }
    if (type == "Switch") return Kind::Switch;
    if (type == "LOD") {
      n.which = 0;
      return Kind::Switch;
    }
    if (type == "Coordinate") return Kind::Coordinate;
    if (type == "Color") return Kind::Color;
    return Kind::Other;
  }

  // `word` is the first word of the node (DEF, USE, NULL or the type), already consumed.
  NodePtr ParseNode(std::string_view word, int line, int depth) {
    if (word == "USE") {
      const std::string name(Name("a name after USE"));
      const auto it = defs_.find(name);
      if (it == defs_.end()) Fail(line, "USE of undefined name " + Quoted(name));
      budget_.Charge(kNodeOverhead, line);
      return it->second;
    }
    if (word == "NULL") return nullptr;
    std::string defName;
    if (word == "DEF") {
      defName = Name("a name after DEF");
      line = line_;
      word = Name("a node type");
    }
    if (depth >= kMaxDepth) {
      Fail(line, "nodes nested deeper than " + std::to_string(kMaxDepth) + " levels");
    }
    if (ClassOf(word.front()) & kNumStart) Fail(line, "expected a node, found " + Quoted(word));
    const std::string type(word);
    Expect('{', "after node type " + vrml::Escaped(type, 40));
    budget_.Charge(sizeof(Node) + kNodeOverhead + 2 * defName.size(), line);
    if (instance_) Charge(sizeof(Node), line);
    if (!fileScope_.protos.empty()) {
      if (std::shared_ptr<vrml::Proto> proto = scope_->Find(type)) {
        NodePtr node = Instantiate(std::move(proto), line, depth + 1);
        if (!defName.empty()) defs_[defName] = node;
        return node;
      }
    }
    auto node = std::make_shared<Node>();
    node->line = line;
    node->name = defName;
    node->kind = KindOf(type, v1_, *node);
    ParseBody(*node, type, line, depth + 1);
    for (const NodePtr* c : {&node->coord, &node->color}) {
      if (*c) node->height = std::max(node->height, (*c)->height + 1);
    }
    for (const NodePtr& c : node->children) node->height = std::max(node->height, c->height + 1);
    if (node->height > kMaxDepth) {
      Fail(line, "DEF/USE instances nested deeper than " + std::to_string(kMaxDepth) + " levels");
    }
    if (node->kind == Kind::TransformOp || (node->kind == Kind::Separator && node->hasXf)) {
      node->xf = ComposeTransform(*node);
    }
    if (!defName.empty()) defs_[defName] = node;
    return node;
  }

  void ParseBody(Node& n, const std::string& type, int startLine, int depth) {
    for (;;) {
      const char c = Peek();
      if (c == '\0') Truncated(vrml::Escaped(type, 40) + " node", startLine);
      if (c == '}') {
        ++p_;
        return;
      }
      if (!(ClassOf(c) & kWord) || (ClassOf(c) & kNumStart)) {
        Fail(line_, "expected a field name inside " + vrml::Escaped(type, 40) + " node, found " +
                        Printable(c));
      }
      const int line = line_;
      const std::string_view field = Word();
      if (Statement(field, line)) continue;
      if (!v1_ && IsDeclaration(field)) {
        Declaration(field, line, depth);
        continue;
      }
      if (v1_ && (field == "DEF" || field == "USE" || Peek() == '{')) {
        // VRML 1 children sit directly in the body.
        NodePtr child = ParseNode(field, line, depth);
        if (n.kind != Kind::Other) Keep(n.children, std::move(child), n.kind == Kind::Switch);
        continue;
      }
      Field(n, type, field, line, depth);
    }
  }

  void Field(Node& n, const std::string& type, std::string_view f, int line, int depth) {
    if (TakeWord("IS")) return FieldIs(n, type, f, line, depth);
    const Slot slot = NodeSlot(n, type, f);
    if (slot.list) return NodeList(*slot.list, depth, n.kind == Kind::Switch);
    if (slot.one) {
      *slot.one = NodeValue(depth);
      return;
    }
    switch (n.kind) {
      case Kind::Separator:
        if (!v1_ && type == "Transform" && TransformField(n, f, "scale")) return;
        break;
      case Kind::Switch:
        if (f == (v1_ ? "whichChild" : "whichChoice")) {
          n.which = Int(v1_ ? "whichChild" : "whichChoice");
          return;
        }
        break;
      case Kind::TransformOp:
        if (f == "matrix") {
          Fixed<16>(n.matrix.data(), "matrix");
          n.hasMatrix = true;
          return;
        }
        if (TransformField(n, f, "scaleFactor")) return;
        break;
      case Kind::Coordinate:
        if (f == "point") return FloatList(n.values, 3, "point");
        break;
      case Kind::Color:
        if (f == "color") return FloatList(n.values, 3, "color");
        break;
      case Kind::IndexedFaceSet:
        if (f == "coordIndex") return IndexList(n, n.coordIndex, true, "coordIndex");
        if (v1_) break;
        if (f == "colorIndex") return IndexList(n, n.colorIndex, false, "colorIndex");
        if (f == "colorPerVertex") {
          n.colorPerVertex = Bool("colorPerVertex");
          return;
        }
        break;
      default:
        break;
    }
    SkipValue(depth, line);
  }

  bool TransformField(Node& n, std::string_view f, const char* scaleName) {
    if (f == "translation") {
      Fixed<3>(n.translation.data(), "translation");
    } else if (f == "rotation") {
      Fixed<4>(n.rotation.data(), "rotation");
    } else if (f == scaleName) {
      Fixed<3>(n.scale.data(), scaleName);
    } else if (f == "scaleOrientation") {
      Fixed<4>(n.scaleOrientation.data(), "scaleOrientation");
    } else if (f == "center") {
      Fixed<3>(n.center.data(), "center");
    } else {
      return false;
    }
    n.hasXf = true;
    return true;
  }

  const char* p_;
  const char* end_;
  const char* begin_;
  const char* tick_;      // the next place to report progress, never past end_
  const char* released_;  // text before it has been given back
  const char* keep_;      // text from here on must stay: it is read again
  bool ownsText_;
  int line_;
  const std::string& file_;
  bool v1_;
  Meter& meter_;
  Budget& budget_;
  std::unordered_map<std::string, NodePtr> defs_;
  vrml::Scope fileScope_;
  vrml::Scope* scope_ = &fileScope_;
  Instance* instance_ = nullptr;  // whose body is being read
  std::uint64_t expanded_ = 0;
  std::uint64_t expansionLimit_;
  std::string endOf_ = "end of file";  // what runs out when the text does
};

// Walks the scene twice: once to count (and to refuse DEF/USE explosions before allocating),
// once to fill the mesh.
class MeshBuilder {
 public:
  MeshBuilder(const std::string& fileName, bool v1, Meter& meter, Budget& budget)
      : file_(fileName),
        v1_(v1),
        meter_(meter),
        budget_(budget),
        maxVisits_(vrml::kMaxVisitsPerTextByte * budget.text() + vrml::kVisitAllowance) {}

  Mesh Build(const std::vector<NodePtr>& roots) {
    State st;
    for (const NodePtr& r : roots) Visit(*r, st);
    if (triangles_ == 0) {
      throw ScanError(file_ +
                      ": the file holds no surface geometry (no IndexedFaceSet with triangles; "
                      "Inline files are not followed)");
    }
    counting_ = false;
    meter_.Step(kParseEnd, 1.0, points_ + triangles_);
    if (allColored_) mesh_.colors.reserve(points_ * 3);
    State st2;
    for (const NodePtr& r : roots) Visit(*r, st2);
    if (!allColored_) mesh_.colors.clear();
    DropUnusedPoints();
    return std::move(mesh_);
  }

 private:
  struct State {
    Eigen::Affine3d xf = Eigen::Affine3d::Identity();
    bool identity = true;
    const Node* coords = nullptr;
  };

  void Visit(const Node& n, State& st) {
    if (counting_ && ++visits_ > maxVisits_) {
      throw ScanError(file_ + ", line " + std::to_string(n.line) +
                      ": DEF/USE instancing expands beyond a sane size for this file");
    }
    if (counting_ && visits_ % 4096 == 0) meter_.At(0);  // instancing may make this long
    switch (n.kind) {
      case Kind::Group:
        for (const NodePtr& c : n.children) Visit(*c, st);
        break;
      case Kind::Separator: {
        State inner = st;
        if (n.hasXf) Apply(inner, n.xf);
        for (const NodePtr& c : n.children) Visit(*c, inner);
        break;
      }
      case Kind::TransformSeparator: {
        const Eigen::Affine3d saved = st.xf;
        const bool savedId = st.identity;
        for (const NodePtr& c : n.children) Visit(*c, st);
        st.xf = saved;
        st.identity = savedId;
        break;
      }
      case Kind::Switch:
        if (v1_ && n.which == -3) {
          for (const NodePtr& c : n.children) Visit(*c, st);
        } else if (n.which >= 0 && static_cast<std::size_t>(n.which) < n.children.size()) {
          Visit(*n.children[static_cast<std::size_t>(n.which)], st);
        }
        break;
      case Kind::TransformOp:
        Apply(st, n.xf);
        break;
      case Kind::Coordinate:
        if (v1_) st.coords = &n;
        break;
      case Kind::IndexedFaceSet:
        Emit(n, st);
        break;
      default:
        break;
    }
  }

  static void Apply(State& st, const Eigen::Affine3d& xf) {
    st.xf = st.xf * xf;
    st.identity = st.xf.matrix().isIdentity(0.0);
  }

  std::string Label(const Node& n) const {
    return n.name.empty() ? std::string("IndexedFaceSet (line ") + std::to_string(n.line) + ")"
                          : "IndexedFaceSet " + Quoted(n.name);
  }

  // Names quoted from the file may hold any bytes: the message is escaped as a whole too.
  [[noreturn]] void Fail(int line, const std::string& what) const {
    throw ScanError(file_ + ", line " + std::to_string(line) + ": " +
                    vrml::Escaped(what, what.size()));
  }

  void Emit(const Node& n, const State& st) {
    const Node* c = n.coord ? n.coord.get() : (v1_ ? st.coords : nullptr);
    if (!c || c->kind != Kind::Coordinate) {
      Fail(n.line, Label(n) + " has no coordinates" +
                       (v1_ ? " (no Coordinate3 before it)" : " (no coord Coordinate node)"));
    }
    const std::size_t np = c->values.size() / 3;
    if (n.maxIndex >= 0 && static_cast<std::size_t>(n.maxIndex) >= np) {
      Fail(n.maxIndexLine, "index " + std::to_string(n.maxIndex) +
                               " is outside the point list of " + Label(n) + " (" +
                               std::to_string(np) + " points)");
    }
    if (n.minIndex < -1) {
      Fail(n.minIndexLine, "index " + std::to_string(n.minIndex) +
                               " is outside the point list of " + Label(n) + " (negative)");
    }
    if (counting_) {
      ++c->uses;
      ++n.uses;
      points_ += np;
      triangles_ += static_cast<std::uint64_t>(n.triangleCount);
      // Charged whether or not the mesh can take the parsed lists over: the bound is what counts.
      budget_.Charge(np * (3 * sizeof(float) + 3) +
                         static_cast<std::uint64_t>(n.triangleCount) * 3 * sizeof(std::int32_t),
                     n.line);
      if (points_ > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
        Fail(n.line, "more points than a mesh can index");
      }
      if (!PerVertexColors(n, np)) allColored_ = false;
      return;
    }
    const std::size_t base = mesh_.points.size() / 3;
    meter_.At(base + mesh_.triangleCount());
    const float* src = c->values.data();
    if (st.identity && base == 0 && c->uses == 1) {
      // The usual scan: one point list, used once, no transform. Hand it over without a copy.
      mesh_.points = std::move(const_cast<Node*>(c)->values);
    } else if (st.identity) {
      ReserveFor(mesh_.points, points_ * 3);
      mesh_.points.insert(mesh_.points.end(), src, src + np * 3);
    } else {
      const Eigen::Matrix3d l = st.xf.linear();
      const Eigen::Vector3d t = st.xf.translation();
      ReserveFor(mesh_.points, points_ * 3);
      for (std::size_t i = 0; i < np; ++i) {
        const Eigen::Vector3d q =
            l * Eigen::Vector3d(src[3 * i], src[3 * i + 1], src[3 * i + 2]) + t;
        if (q.cwiseAbs().maxCoeff() > std::numeric_limits<float>::max()) {
          Fail(n.line, "a point of " + Label(n) + " lies out of range once transformed");
        }
        mesh_.points.insert(
            mesh_.points.end(),
            {static_cast<float>(q.x()), static_cast<float>(q.y()), static_cast<float>(q.z())});
      }
    }
    // Colours read coordIndex, which the triangles below may consume.
    if (allColored_) AppendColors(n, np);
    // A mirroring transform turns faces inside out; swap two corners to keep them outward.
    const bool flip = !st.identity && st.xf.linear().determinant() < 0;
    const auto b = static_cast<std::int32_t>(base);
    const std::size_t second = flip ? 2 : 1, third = flip ? 1 : 2;
    const std::vector<std::int32_t>& ci = n.coordIndex;
    std::vector<std::int32_t>& tri = mesh_.triangles;
    if (n.onlyTriangles && n.uses == 1 &&
        static_cast<std::uint64_t>(n.triangleCount) == triangles_) {
      // A scan's faces are all triangles: drop the -1s in place and take the list over.
      auto& own = const_cast<Node&>(n).coordIndex;
      std::size_t w = 0;
      for (std::size_t k = 0; k + 2 < own.size(); k += 4, w += 3) {
        const std::int32_t a = own[k], bb = own[k + 1], cc = own[k + 2];
        own[w] = b + a;
        own[w + second] = b + bb;
        own[w + third] = b + cc;
      }
      own.resize(w);
      tri = std::move(own);
      return;
    }
    ReserveFor(tri, triangles_ * 3);
    std::size_t w = tri.size();
    tri.resize(w + static_cast<std::size_t>(n.triangleCount) * 3);
    std::size_t start = 0;
    for (std::size_t i = 0; i <= ci.size(); ++i) {
      if (i < ci.size() && ci[i] >= 0) continue;
      for (std::size_t k = start + 1; k + 1 < i; ++k, w += 3) {
        tri[w] = b + ci[start];
        tri[w + second] = b + ci[k];
        tri[w + third] = b + ci[k + 1];
      }
      start = i + 1;
    }
  }

  // Scanners may write their whole sensor grid and index only the points on the surface: points
  // no triangle uses are dropped, colours with them, so bounds, view fitting, outlines and
  // picking see the surface alone.
  void DropUnusedPoints() {
    const std::size_t np = mesh_.pointCount();
    // A byte per point, set by plain stores (bits would make each mark wait for the last),
    // the triangles' two halves at once on a large scan: reading them is most of the time.
    std::vector<std::uint8_t> used(np);
    budget_.Charge(np, 0);
    // Plain pointers: byte stores may alias a vector's own, which would be loaded again each time.
    std::uint8_t* const marks = used.data();
    const std::int32_t* const tri = mesh_.triangles.data();
    const std::size_t corners = mesh_.triangles.size();
    const auto mark = [marks, tri](std::size_t from, std::size_t to) {
      for (std::size_t k = from; k < to; ++k)
        std::atomic_ref(marks[static_cast<std::size_t>(tri[k])]).store(1, std::memory_order_relaxed);
    };
    constexpr std::size_t kSplit = std::size_t{1} << 20;
    if (corners >= kSplit) {
      const std::size_t mid = corners / 2;
      BareThread second([&] { mark(mid, corners); });
      mark(0, mid);
      second.join();
    } else {
      mark(0, corners);
    }
    if (static_cast<std::size_t>(std::count(used.begin(), used.end(), 1)) == np) return;
    std::vector<std::int32_t> index(np, -1);  // new index of each point, -1 while unused
    budget_.Charge(np * sizeof(std::int32_t), 0);
    std::int32_t kept = 0;
    for (std::size_t i = 0; i < np; ++i) {
      if (used[i]) index[i] = kept++;
    }
    std::vector<float>& p = mesh_.points;
    std::vector<std::uint8_t>& c = mesh_.colors;
    for (std::size_t i = 0; i < np; ++i) {
      const auto to = static_cast<std::size_t>(index[i]);
      if (index[i] < 0 || to == i) continue;
      std::copy_n(p.begin() + static_cast<std::ptrdiff_t>(3 * i), 3,
                  p.begin() + static_cast<std::ptrdiff_t>(3 * to));
      if (!c.empty()) {
        std::copy_n(c.begin() + static_cast<std::ptrdiff_t>(3 * i), 3,
                    c.begin() + static_cast<std::ptrdiff_t>(3 * to));
      }
    }
    p.resize(3 * static_cast<std::size_t>(kept));
    if (!c.empty()) c.resize(3 * static_cast<std::size_t>(kept));
    for (std::int32_t& t : mesh_.triangles) t = index[static_cast<std::size_t>(t)];
  }

  // The first part to be copied reserves room for all of them.
  template <typename T>
  static void ReserveFor(std::vector<T>& v, std::uint64_t total) {
    if (v.capacity() != 0) return;
    v.reserve(static_cast<std::size_t>(total));
    files::AdviseHugePages(v.data(), v.capacity() * sizeof(T));
  }

  static bool PerVertexColors(const Node& n, std::size_t np) {
    if (!n.color || n.color->kind != Kind::Color || !n.colorPerVertex) return false;
    const std::size_t nc = n.color->values.size() / 3;
    if (n.colorIndex.empty()) return nc >= np;
    if (n.colorIndex.size() < n.coordIndex.size()) return false;
    for (std::size_t k = 0; k < n.coordIndex.size(); ++k) {
      if (n.coordIndex[k] >= 0 &&
          (n.colorIndex[k] < 0 || static_cast<std::size_t>(n.colorIndex[k]) >= nc)) {
        return false;
      }
    }
    return true;
  }

  void AppendColors(const Node& n, std::size_t np) {
    const std::size_t base = mesh_.colors.size();
    mesh_.colors.resize(base + np * 3, 0);
    const std::vector<float>& cv = n.color->values;
    auto put = [&](std::size_t point, std::size_t color) {
      for (std::size_t a = 0; a < 3; ++a) {
        const double v = std::clamp(static_cast<double>(cv[color * 3 + a]), 0.0, 1.0);
        mesh_.colors[base + point * 3 + a] = static_cast<std::uint8_t>(std::lround(v * 255.0));
      }
    };
    if (n.colorIndex.empty()) {
      for (std::size_t i = 0; i < np; ++i) put(i, i);
    } else {
      for (std::size_t k = 0; k < n.coordIndex.size(); ++k) {
        if (n.coordIndex[k] >= 0) {
          put(static_cast<std::size_t>(n.coordIndex[k]), static_cast<std::size_t>(n.colorIndex[k]));
        }
      }
    }
  }

  const std::string& file_;
  bool v1_;
  Meter& meter_;
  Budget& budget_;
  std::uint64_t maxVisits_;
  bool counting_ = true;
  bool allColored_ = true;
  std::uint64_t visits_ = 0;
  std::uint64_t points_ = 0;
  std::uint64_t triangles_ = 0;
  Mesh mesh_;
};

struct ParsedScene {
  std::vector<NodePtr> roots;
  std::string version;
  bool v1 = false;
};

ParsedScene Parse(std::string_view text, const std::string& fileName, Meter& meter, Budget& budget,
                  bool ownsText) {
  const std::size_t firstNonSpace = text.find_first_not_of(" \t\r\n");
  if (firstNonSpace == std::string_view::npos) throw ScanError(fileName + ": empty file");
  ParsedScene scene;
  constexpr std::string_view kV1 = "#VRML V1.0 ascii";
  constexpr std::string_view kV2 = "#VRML V2.0 utf8";
  if (text.starts_with(kV1)) {
    scene.version = "1.0";
    scene.v1 = true;
  } else if (text.starts_with(kV2)) {
    scene.version = "2.0";
  } else {
    const bool binary = std::any_of(
        text.begin(),
        text.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(text.size(), 64)),
        [](char c) { return (ClassOf(c) & kBinary) != 0; });
    throw ScanError(fileName + ", line 1: not a VRML file (" +
                    (binary ? std::string("binary data")
                            : "no '#VRML V1.0 ascii' or '#VRML V2.0 utf8' header") +
                    ")");
  }
  // The rest of the header line is free text.
  const std::size_t nl = text.find('\n');
  const std::string_view body =
      nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
  Parser parser(body, fileName, scene.v1, 2, meter, budget, ownsText);
  scene.roots = parser.ParseScene();
  return scene;
}

// Everything after the bytes are in memory. `from` is the share of progress already done;
// `owned` holds the bytes when they are the reader's own, to free once no longer needed.
ScanFile Load(std::string_view bytes, const std::string& fileName, Meter& meter, double from,
              std::unique_ptr<char[]> owned) {
  ScanFile scan;
  std::string inflated;
  if (vrml::LooksGzipped(bytes)) {
    meter.Step(from, kInflateShare, bytes.size());
    inflated = vrml::Gunzip(bytes, fileName, [&](std::size_t consumed) { meter.At(consumed); });
    owned.reset();
    bytes = inflated;
    scan.gzip = true;
    from = kInflateShare;
  }
  if (bytes.empty()) throw ScanError(fileName + ": empty file");
  meter.Step(from, kParseEnd, bytes.size());
  Budget budget(fileName, bytes.size());
  budget.Charge(bytes.size(), 1);
  ParsedScene scene = Parse(bytes, fileName, meter, budget, owned || scan.gzip);
  // The parsed lists own their numbers now: release the text before building the mesh.
  owned.reset();
  std::string().swap(inflated);
  scan.version = scene.version;
  scan.mesh = MeshBuilder(fileName, scene.v1, meter, budget).Build(scene.roots);
  meter.Finish();
  return scan;
}

}  // namespace

ScanFile ReadVrml(std::string_view bytes, const std::string& fileName, Meter& meter,
                  std::unique_ptr<char[]> owned) {
  return Load(bytes, fileName, meter, kReadShare, std::move(owned));
}

}  // namespace kernelcad
