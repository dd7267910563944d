// The tags whose attribute carries a link, for link discovery and for link
// rewriting alike. Discovery follows the link of every row, with the level
// step of each: an anchor leads one level deeper, the others load parts of
// the page itself. Rewriting points only the links of the rewritten rows at
// the saved copies: a "link" element (stylesheets and the like) keeps its href.
#ifndef X7FENWIX_LINK_TABLE_H
#define X7FENWIX_LINK_TABLE_H

namespace x7 {

struct LinkTag {
  const char* tag;
  const char* attribute;
  int increment;
  bool rewritten;
};

// The row of a tag name; null for none. Rows are looked at in order and tag
// names match byte for byte, with case.
const LinkTag* linkTagOf(const char* tagName);

}  // namespace x7

#endif
