import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.Objects;

/**
 * The references of one page or stylesheet that a browser follows to show
 * it, found by the library in one pass over the document's bytes. A
 * reference is the byte span of its raw text, so a replacement can be
 * spliced in with every other byte kept; escapes are left in it, and its kind
 * says which apply.
 */
public final class PageRefs {
    static {
        System.loadLibrary("x7fenwix");
    }

    // Target of a reference: exactly one of these bits.
    /** A page the user may go to: a, area, link of other rels, meta refresh. */
    public static final int NAVIGATION = 1;
    /** Needed to show the page: images, scripts, frames, media, icons, fonts and images of CSS. */
    public static final int REQUISITE = 2;
    /** A stylesheet, to be scanned in turn with {@code css} true. */
    public static final int STYLESHEET = 4;
    /** The page's base URL; the first one counts. */
    public static final int BASE = 8;
    public static final int TARGET = 15;
    // How its text is escaped.
    /** CSS text: backslash escapes apply. */
    public static final int IN_CSS = 16;
    /** Inside an HTML attribute value: character references apply (first, when IN_CSS is also set). */
    public static final int IN_ATTR = 32;

    private PageRefs() {}

    /** One reference: bytes [start, end) of the document. */
    public record Ref(int start, int end, int kind) {
        public int target() {
            return kind & TARGET;
        }

        public boolean is(int bit) {
            return (kind & bit) != 0;
        }
    }

    /** The references of document[0, length), flattened as (start, end, kind) triples in byte order. */
    static native int[] scan(byte[] document, int length, boolean css);

    /** The files a script names for its page to load, as (start, end, kind) triples (see scripts()). */
    static native int[] scanScript(byte[] document, int length);

    /** The value with its HTML character references decoded: UTF-8 in, UTF-8 out. */
    private static native byte[] decodeCharRefs(byte[] utf8);

    /** An attribute value with its character references decoded ("&amp;" is '&'), as a browser reads it. */
    public static String decodeCharRefs(String value) {
        if (value.indexOf('&') < 0) return value;
        return new String(decodeCharRefs(value.getBytes(StandardCharsets.UTF_8)), StandardCharsets.UTF_8);
    }

    /**
     * The text of a reference as a browser reads it before it makes a URL of
     * it: the bytes in the document's charset, character references decoded
     * inside attributes, CSS escapes inside CSS, white space at either end
     * dropped and tabs and line breaks inside dropped.
     */
    public static String text(byte[] document, Ref ref, Charset charset) {
        String s = new String(document, ref.start(), ref.end() - ref.start(), charset);
        if (ref.is(IN_ATTR)) s = decodeCharRefs(s);
        if (ref.is(IN_CSS)) s = cssUnescaped(s);
        return browserTrim(s);
    }

    /** Drops C0 controls and spaces at either end, and tabs and line breaks inside, as a URL parser does. */
    static String browserTrim(String s) {
        int b = 0;
        int e = s.length();
        while (b < e && s.charAt(b) <= ' ') b++;
        while (e > b && s.charAt(e - 1) <= ' ') e--;
        StringBuilder out = new StringBuilder(e - b);
        for (int i = b; i < e; i++) {
            char c = s.charAt(i);
            if (c != '\t' && c != '\n' && c != '\r') out.append(c);
        }
        return out.toString();
    }

    /** CSS text with its backslash escapes read: hex escapes (one white space after them dropped), escaped characters, escaped line breaks dropped. */
    static String cssUnescaped(String s) {
        if (s.indexOf('\\') < 0) return s;
        StringBuilder b = new StringBuilder(s.length());
        for (int i = 0; i < s.length(); i++) {
            char c = s.charAt(i);
            if (c != '\\') {
                b.append(c);
                continue;
            }
            if (i + 1 >= s.length()) {
                b.append('\uFFFD');
                break;
            }
            char n = s.charAt(i + 1);
            if (n == '\n' || n == '\f') {
                i++;
            } else if (n == '\r') {
                i += i + 2 < s.length() && s.charAt(i + 2) == '\n' ? 2 : 1;
            } else if (Character.digit(n, 16) >= 0) {
                int j = i + 1;
                int cp = 0;
                while (j < s.length() && j < i + 7 && Character.digit(s.charAt(j), 16) >= 0) {
                    cp = cp * 16 + Character.digit(s.charAt(j), 16);
                    j++;
                }
                if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
                b.appendCodePoint(cp);
                if (j < s.length() && (s.charAt(j) == ' ' || s.charAt(j) == '\t' || s.charAt(j) == '\n'
                        || s.charAt(j) == '\f')) {
                    j++;
                } else if (j < s.length() && s.charAt(j) == '\r') {
                    j += j + 1 < s.length() && s.charAt(j + 1) == '\n' ? 2 : 1;
                }
                i = j - 1;
            } else {
                b.append(n);
                i++;
            }
        }
        return b.toString();
    }

    /** The references of the first {@code length} bytes of a page, or of a stylesheet when {@code css}. */
    public static List<Ref> of(byte[] document, int length, boolean css) {
        Objects.requireNonNull(document, "document");
        Objects.checkFromIndexSize(0, length, document.length);
        return refs(scan(document, length, css));
    }

    /**
     * The files a script names for a browser to load: quoted relative paths
     * of file types pages load ('search.js'), which only running the script
     * would ask for. Requisites of the page the script serves.
     */
    public static List<Ref> ofScript(byte[] document, int length) {
        Objects.requireNonNull(document, "document");
        Objects.checkFromIndexSize(0, length, document.length);
        return refs(scanScript(document, length));
    }

    private static List<Ref> refs(int[] t) {
        if (t.length == 0) return Collections.emptyList();
        List<Ref> refs = new ArrayList<>(t.length / 3);
        for (int i = 0; i + 2 < t.length; i += 3) refs.add(new Ref(t[i], t[i + 1], t[i + 2]));
        return refs;
    }
}
