// Local names of URLs: where the mirror saves a URL below its output folder.
// Pure byte-string functions, free of JNI, so that unit tests and fuzzers
// reach them directly.
//
// The rule is one-to-one (distinct URLs, once normalized, never share a
// file), does not depend on the locale (names are printable ASCII) and always
// fits (every name leaves room for the incomplete marker and the rewrite's
// temporary name; whole paths stay short).
#ifndef X7FENWIX_NAMING_H
#define X7FENWIX_NAMING_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace x7 {

// Every name the rule makes itself starts with this; a literal name that
// would start with it (ASCII case-insensitive) has its first byte escaped.
inline constexpr std::string_view kReservedPrefix = "x7fenwix";
// The saved page of a URL that names a directory.
inline constexpr std::string_view kDirectoryPage = "x7fenwix.htm";
// A file moved under the folder of its own name (the host's save step).
inline constexpr std::string_view kMovedFile = "x7fenwix-file";
// The folder of folded paths, right below the site part.
inline constexpr std::string_view kLongFolder = "x7fenwix-long";
// An empty path segment ("/a//b").
inline constexpr std::string_view kEmptySegment = "x7fenwix-empty";
// The site part of a URL without a host.
inline constexpr std::string_view kNoHost = "x7fenwix-nohost";

// Longest name kept as it is; a longer one is capped to exactly kCappedName
// bytes: kCappedPrefix bytes of it (or fewer, padded with '~', so that no
// escape is cut), '~' and kCappedHashHex hex digits of its hash.
inline constexpr std::size_t kMaxName = 180;
inline constexpr std::size_t kCappedPrefix = 168;
inline constexpr std::size_t kCappedHashHex = 12;
inline constexpr std::size_t kCappedName = kCappedPrefix + 1 + kCappedHashHex;
// A relative path longer than this is folded: site/x7fenwix-long/HASH/last.
inline constexpr std::size_t kMaxPath = 3000;
inline constexpr std::size_t kFoldHashHex = 32;

// The local path of a URL relative to the output folder, '/'-separated:
// the site part (host lower-cased, " PORT" when port >= 0), the path's
// segments (dot segments removed, then each percent-decoded and escaped),
// kDirectoryPage for a directory path, and "^" + the query after the last
// name when rawQuery is not null. rawPath and rawQuery are URL text, escapes
// allowed; an invalid escape stands for itself. In names, a byte outside
// printable ASCII or one of / \ : * ? " < > | # % ^ is written "_HH" with
// upper-case hex digits, and so is a literal '_' before two such digits.
std::string localName(std::string_view host, int port, std::string_view rawPath, const std::string* rawQuery);

// The inverse for a link that an earlier run rewrote: localPath is the path
// below the site part as a URL path carries it ('/'-separated, may be
// percent-encoded). Gives the raw path ("/"-rooted) and the query of the URL
// that localName saved there. False when the path is no name localName makes
// or one it cannot give back (capped, folded, moved under a folder).
bool originalPath(std::string_view localPath, std::string& rawPath, std::string& rawQuery, bool& hasQuery);

// RFC 3986 section 5.2.4, on the raw text of a path.
std::string removeDotSegments(std::string_view path);

// SHA-256 of a byte string.
std::array<std::uint8_t, 32> sha256(std::string_view data);

}  // namespace x7

#endif
