// Pure text algorithms of the natives, free of JNI so that unit tests and
// fuzzers reach them directly. All texts are byte strings (modified UTF-8).
#ifndef X7FENWIX_TEXT_H
#define X7FENWIX_TEXT_H

#include <cstdint>
#include <string>
#include <string_view>

namespace x7::text {

// Suffix of the incomplete marker, appended directly to the loaded file name.
inline constexpr std::string_view kIncompleteSuffix = ".INCOMPLETE";
// Local name of a page whose URL names a directory.
inline constexpr std::string_view kDefaultPage = "x7fenwix.htm";

// Removes at most one pair of enclosing quotes: when the value is longer than
// one byte and its first byte is ' or " and its last byte is the same, both go.
std::string_view stripQuotes(std::string_view value);

// The link text of an attribute value as link discovery uses it: one pair of
// enclosing quotes removed, then the HTML character references decoded as a
// browser decodes them ("&amp;" is '&'). A value whose decoding would give a
// character outside the Basic Multilingual Plane or a NUL, which the host's
// modified UTF-8 cannot take as they are, keeps its references.
std::string discoveredLink(std::string_view value);

// "bytes=" + length in decimal + "-", for the whole 64-bit length.
std::string rangeValue(std::int64_t length);

enum class PageNameRepair {
  NotApplicable,  // the text does not end with the default page name
  NoSlash,        // it does, but holds no slash: nothing can be done
  Repaired        // cut after its last slash, backslashes made slashes
};
// Cuts a URL text that ends with the default page name back to its last
// slash (the slash is found before backslashes become slashes).
PageNameRepair repairPageName(std::string& url);

// Replaces every caret by a question mark; true when at least one was.
bool repairCaret(std::string& url);

// Number of "../" steps at the start of a link.
int climbCount(std::string_view link);

// Protocol + "://" + remainder, where the first space of the remainder stands
// for the colon before a port when it lies before the remainder's first '/'.
std::string rebuildUrl(std::string_view protocol, std::string_view remainder);

// Path from the saved parent page to the saved target, both loaded file names
// with the platform separator sep: leading whole directories in common are
// dropped, then one "../" per directory left in the parent's path, then the
// target's rest (backslashes as '/' when sep is a backslash).
std::string relativePath(std::string_view parent, std::string_view target, char sep);

}  // namespace x7::text

#endif
