#include "kernelcad/core/vrml_proto.h"

namespace kernelcad::vrml {

int Proto::Find(std::string_view field) const {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].name == field) return static_cast<int>(i);
  }
  return -1;
}

std::shared_ptr<Proto> Scope::Find(const std::string& type) const {
  for (const Scope* s = this; s; s = s->parent) {
    const auto it = s->protos.find(type);
    if (it != s->protos.end()) return it->second;
  }
  return nullptr;
}

}  // namespace kernelcad::vrml
