import java.util.Map;

/**
 * Which attribute of a tag holds the link that the library's rewrite points at
 * the saved copy, and how its value is read. The one table the rewrite pass
 * asks; more kinds of reference join it here.
 */
final class LinkAttributes {
    private static final Map<String, String> REWRITTEN = Map.of("a", "href", "img", "src", "frame", "src");

    private LinkAttributes() {}

    /** The attribute of a tag (lower case) whose link is rewritten; null when none is. */
    static String rewritten(String tag) {
        return REWRITTEN.get(tag);
    }

    /** The tags (lower case) whose link is rewritten. */
    static java.util.Set<String> rewrittenTags() {
        return REWRITTEN.keySet();
    }

    /** An attribute's value without one pair of matching enclosing quotes. */
    static String unquote(String v) {
        if (v.length() >= 2 && (v.charAt(0) == '"' || v.charAt(0) == '\'') && v.charAt(v.length() - 1) == v.charAt(0)) {
            return v.substring(1, v.length() - 1);
        }
        return v;
    }
}
