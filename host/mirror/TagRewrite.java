import java.nio.charset.StandardCharsets;
import java.util.Locale;
import java.util.Set;

/**
 * The library's rewrite of a page's links (repAttrib) without a tree of the
 * page. The tag reader ends a tag at the first '>' after its '<', whatever
 * the nesting, and makes an element of every tag whose name is one of
 * ELEMENTS; the rest is text. So each such tag is handed to repAttrib as an
 * element of its own, and what it becomes is put back in its place: the page
 * comes out as its tree would give it back, at the cost of one look at each
 * character instead of a tree some times the page's size.
 */
final class TagRewrite {
    /** The names the tag reader makes elements of, in lower case. */
    static final Set<String> ELEMENTS = Set.of("frame", "img", "link", "meta", "a", "body", "frameset", "head",
            "html", "title");

    /** A page after the rewrite and the links changed in it. */
    static final class Result {
        final String page;
        final int links;

        Result(String page, int links) {
            this.page = page;
            this.links = links;
        }
    }

    private TagRewrite() {}

    /** Hands every element tag of page to up.repAttrib, in page order. */
    static Result rewrite(String page, UpdParent up) {
        StringBuilder out = null;
        int copied = 0;
        int links = 0;
        for (int lt = page.indexOf('<'); lt >= 0; lt = page.indexOf('<', lt)) {
            int gt = page.indexOf('>', lt + 1);
            // a page that ends inside a tag keeps that tag as text
            if (gt < 0) break;
            int start = lt;
            lt = gt + 1;
            // the name as TagText.name reads it from the tag, looked at in place: most tags are no element
            int nameEnd = TagText.nameEnd(page, start + 1, gt);
            if (!isElement(page, start + 1, nameEnd)) continue;
            String before = page.substring(start, gt + 1);
            String name = page.substring(start + 1, nameEnd).toLowerCase(Locale.ROOT);
            x7Element e = new x7Element(before);
            up.repAttrib(e, name);
            String attribute = LinkAttributes.rewritten(name);
            if (attribute != null && !e.getTagText().equals(before)) {
                links++;
                encodeOutsideAscii(e, attribute);
            }
            String after = e.getTagText();
            if (after.equals(before)) continue;
            if (out == null) out = new StringBuilder(page.length() + 256);
            out.append(page, copied, gt + 1 - before.length()).append(after);
            copied = gt + 1;
        }
        if (out == null) return new Result(page, links);
        out.append(page, copied, page.length());
        return new Result(out.toString(), links);
    }

    /** ELEMENTS by their length: the names a name of that length may equal ignoring case. */
    private static final String[][] BY_LENGTH = byLength();

    private static String[][] byLength() {
        int longest = 0;
        for (String n : ELEMENTS) longest = Math.max(longest, n.length());
        String[][] by = new String[longest + 1][];
        for (int len = 0; len <= longest; len++) {
            final int l = len;
            by[len] = ELEMENTS.stream().filter(n -> n.length() == l).sorted().toArray(String[]::new);
        }
        return by;
    }

    /**
     * Whether the tag reader makes an element of a tag of the name page[from,
     * to): it compares names with equalsIgnoreCase, which holds only between
     * names of one length and then as regionMatches ignoring case does.
     */
    static boolean isElement(String page, int from, int to) {
        int len = to - from;
        if (len >= BY_LENGTH.length) return false;
        for (String n : BY_LENGTH[len]) {
            if (page.regionMatches(true, from, n, 0, len)) return true;
        }
        return false;
    }

    /**
     * A saved file's name may hold letters outside ASCII; in the link they are
     * percent-encoded as UTF-8, which a browser reads back whatever the page's
     * own encoding is.
     */
    static void encodeOutsideAscii(x7Element e, String attribute) {
        String v = e.getAttribute(attribute);
        if (v == null) return;
        v = LinkAttributes.unquote(v);
        StringBuilder b = new StringBuilder();
        boolean any = false;
        for (int i = 0; i < v.length(); i++) {
            char c = v.charAt(i);
            if (c >= 32 && c < 127) {
                b.append(c);
                continue;
            }
            any = true;
            int end = Character.isHighSurrogate(c) && i + 1 < v.length() ? i + 2 : i + 1;
            for (byte x : v.substring(i, end).getBytes(StandardCharsets.UTF_8)) {
                b.append('%').append(String.format("%02X", x & 0xff));
            }
            i = end - 1;
        }
        if (any) e.replaceAttribute(attribute, b.toString());
    }
}
