#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// What the reader keeps of a PROTO statement. An instance's body is read again from the file's
// text, with the instance's field values standing in wherever the body says IS.
namespace kernelcad::vrml {

// A stretch of the text to be read again later, and the line it starts on.
struct Span {
  const char* begin = nullptr;
  const char* end = nullptr;
  int line = 0;
  std::size_t size() const { return static_cast<std::size_t>(end - begin); }
};

struct ProtoField {
  std::string name;
  bool node = false;   // SFNode or MFNode: its value is nodes, not text to read again
  bool event = false;  // eventIn or eventOut: it has no value
  Span value;          // the default value
};

struct Scope;

struct Proto {
  std::string name;
  std::vector<ProtoField> fields;
  Span body;                     // between its braces
  const Scope* outer = nullptr;  // where it was declared: its body may instantiate what is there
  bool active = false;           // its body is being read: an instance inside would never end

  // Index of the field called `field`, or -1.
  int Find(std::string_view field) const;
};

// The PROTO names of the file, or of one instance's body (a PROTO declared inside another's
// body is seen only there). An EXTERNPROTO maps its name to nullptr: it is never fetched, and
// it hides a PROTO of the same name from outer scopes.
struct Scope {
  const Scope* parent = nullptr;
  std::unordered_map<std::string, std::shared_ptr<Proto>> protos;

  // The PROTO `type` names here or further out; nullptr when none (or an EXTERNPROTO) does.
  std::shared_ptr<Proto> Find(const std::string& type) const;
};

}  // namespace kernelcad::vrml
