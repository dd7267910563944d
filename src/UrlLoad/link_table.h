// The tags whose attribute carries a link that the crawl follows, with the
// level step of each: an anchor leads one level deeper, the other three load
// parts of the page itself.
#ifndef X7FENWIX_LINK_TABLE_H
#define X7FENWIX_LINK_TABLE_H

namespace x7 {

inline constexpr int kLinkRows = 4;

extern const char* const tags[kLinkRows];
extern const char* const attributes[kLinkRows];
extern const int increments[kLinkRows];

}  // namespace x7

#endif
