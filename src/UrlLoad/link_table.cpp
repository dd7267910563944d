#include "link_table.h"

namespace x7 {

// Looked up in this order; tag names match byte for byte, with case.
const char* const tags[kLinkRows] = {"img", "frame", "link", "a"};
const char* const attributes[kLinkRows] = {"src", "src", "href", "href"};
const int increments[kLinkRows] = {0, 0, 0, 1};

}  // namespace x7
