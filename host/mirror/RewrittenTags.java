/**
 * Whether a page read as ISO-8859-1 holds a tag whose link the library's
 * rewrite points at the saved copy (LinkAttributes). A page without one comes
 * out of that rewrite unchanged.
 */
final class RewrittenTags {
    private static final byte[][] NAMES = LinkAttributes.rewrittenTags().stream()
            .map(n -> n.getBytes(java.nio.charset.StandardCharsets.US_ASCII)).toArray(byte[][]::new);

    private RewrittenTags() {}

    static boolean any(byte[] page) {
        for (int i = 0; i < page.length; i++) {
            if (page[i] != '<') continue;
            for (byte[] name : NAMES) {
                // the tag's name ends where a letter or digit does not follow:
                // more than the tag reader ends it at, never fewer
                int end = i + 1 + name.length;
                if (startsAt(page, i + 1, name) && (end >= page.length || !isAsciiLetterOrDigit(page[end]))) {
                    return true;
                }
            }
        }
        return false;
    }

    /** Whether the page holds word (lower case) at, in any case. */
    private static boolean startsAt(byte[] page, int at, byte[] word) {
        if (at + word.length > page.length) return false;
        for (int k = 0; k < word.length; k++) {
            int c = page[at + k];
            if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
            if (c != word[k]) return false;
        }
        return true;
    }

    private static boolean isAsciiLetterOrDigit(byte c) {
        return c >= 'a' && c <= 'z' || c >= 'A' && c <= 'Z' || c >= '0' && c <= '9';
    }
}
