import java.io.IOException;
import java.io.InputStreamReader;
import java.io.Writer;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import java.util.function.BiConsumer;

/**
 * One element of a page tree. {@code data} holds the element's content as read:
 * text, tags kept as text, one placeholder per child and, last, the element's
 * own end tag. Writing the tree back reproduces the page character for
 * character.
 */
public class x7Element {
    static {
        // the tag reader is native; a tree may be read before any crawler exists
        System.loadLibrary("x7fenwix");
    }

    public static final String PLACEHOLDER = "<x7Element>";

    public StringBuffer data = new StringBuffer();
    public List<x7Element> children = new ArrayList<>();

    private String tagText;
    // The names of tagText, made when first asked: the tag reader asks for
    // them on every tag it reads.
    private String name;
    private String endName;
    private boolean endNameMade;

    /** An element built from a tag text such as {@code <a href="x.htm">}; "" for a root. */
    public x7Element(String tagText) {
        this.tagText = tagText == null ? "" : tagText;
    }

    /** Reads one tag of the page into this element: 1 while the element goes on, 0 at its end. */
    public native int doOneTag(InputStreamReader reader);

    /**
     * Reads this element's content up to its end tag or the end of the page.
     * The root's call puts a PageReader over the page's reader; the elements
     * below get that one from the tag reader.
     */
    public void findChild(InputStreamReader reader) {
        InputStreamReader in = PageReader.of(reader);
        while (doOneTag(in) != 0) {
            // each call reads up to and including one tag
        }
    }

    public String getTagText() { return tagText; }

    /**
     * Hands every element below and including this one that has a tag, in
     * page order, to visit with its tag name in lower case. A page nests
     * deeper than a thread's stack allows recursion, so the walk keeps its own.
     */
    public void forEachTag(BiConsumer<x7Element, String> visit) {
        List<x7Element> stack = new ArrayList<>();
        stack.add(this);
        while (!stack.isEmpty()) {
            x7Element e = stack.remove(stack.size() - 1);
            String n = e.getTagname();
            if (n != null && !n.isEmpty()) visit.accept(e, n.toLowerCase(Locale.ROOT));
            for (int i = e.children.size() - 1; i >= 0; i--) stack.add(e.children.get(i));
        }
    }

    /** The bare tag name ("img" for {@code <img src=a.gif>}), "/a" for {@code </a>}, "" for a root. */
    public String getTagname() {
        String n = name;
        if (n == null) name = n = TagText.name(tagText);
        return n;
    }

    /** The name that the tag closing this element yields; null for a root or an end tag. */
    public String getEndTagname() {
        if (!endNameMade) {
            String n = getTagname();
            endName = n.isEmpty() || n.startsWith("/") ? null : "/" + n;
            endNameMade = true;
        }
        return endName;
    }

    /** The attribute's raw value, quotes included; null when the tag has no such attribute. */
    public String getAttribute(String name) {
        return TagText.attribute(tagText, name);
    }

    /** Sets the attribute's value, quoting it; false when the tag has no such attribute. */
    public boolean replaceAttribute(String name, String value) {
        String changed = TagText.replaceAttribute(tagText, name, value);
        if (changed == null) return false;
        tagText = changed;
        name = null;
        endNameMade = false;
        return true;
    }

    /**
     * True when every element's placeholders match its children one to one. A
     * page that contains the placeholder text itself cannot be told apart from
     * its children and must not be written back from its tree.
     */
    public boolean isFaithful() {
        if (count(data, PLACEHOLDER) != children.size()) return false;
        for (x7Element c : children) {
            if (!c.isFaithful()) return false;
        }
        return true;
    }

    /** Writes the element (tag text, then its content with children expanded). */
    public void writeTo(Writer out) throws IOException {
        out.write(tagText);
        String d = data.toString();
        int from = 0;
        int child = 0;
        for (int at = d.indexOf(PLACEHOLDER); at >= 0 && child < children.size(); at = d.indexOf(PLACEHOLDER, from)) {
            out.write(d, from, at - from);
            children.get(child++).writeTo(out);
            from = at + PLACEHOLDER.length();
        }
        out.write(d, from, d.length() - from);
    }

    @Override
    public String toString() {
        java.io.StringWriter w = new java.io.StringWriter();
        try {
            writeTo(w);
        } catch (IOException e) {
            throw new IllegalStateException(e);
        }
        return w.toString();
    }

    private static int count(CharSequence s, String what) {
        String t = s.toString();
        int n = 0;
        for (int at = t.indexOf(what); at >= 0; at = t.indexOf(what, at + what.length())) n++;
        return n;
    }
}
