#include "link_table.h"

#include <cstring>

namespace x7 {
namespace {

const LinkTag kLinkTags[] = {
    {"img", "src", 0, true},
    {"frame", "src", 0, true},
    {"link", "href", 0, false},
    {"a", "href", 1, true},
};

}  // namespace

const LinkTag* linkTagOf(const char* tagName) {
  for (const LinkTag& row : kLinkTags) {
    if (std::strcmp(tagName, row.tag) == 0) return &row;
  }
  return nullptr;
}

}  // namespace x7
