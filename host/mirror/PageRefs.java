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

    /** The references of the first {@code length} bytes of a page, or of a stylesheet when {@code css}. */
    public static List<Ref> of(byte[] document, int length, boolean css) {
        Objects.requireNonNull(document, "document");
        Objects.checkFromIndexSize(0, length, document.length);
        int[] t = scan(document, length, css);
        if (t.length == 0) return Collections.emptyList();
        List<Ref> refs = new ArrayList<>(t.length / 3);
        for (int i = 0; i + 2 < t.length; i += 3) refs.add(new Ref(t[i], t[i + 1], t[i + 2]));
        return refs;
    }
}
