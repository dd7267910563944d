import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.io.IOException;
import java.net.MalformedURLException;
import java.net.URL;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.IdentityHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.Random;

/**
 * Hostile pages for the tag reader and the rewrite pass: random ones built
 * from link tags with odd values and broken markup, and real pages mutated at
 * random. And the rewrite pass as the mirror runs it, with the checks that it
 * changed nothing but the link values it had to.
 */
final class HostilePages {
    private HostilePages() {}

    /** Link values that try everything: climbing, absolute, encoded, odd quotes, NUL, beyond the BMP. */
    static final String[] VALUES = {
        "../../../../etc/passwd", "/etc/passwd", "/abs/page.htm", "http://other.test/x.htm", "HTTP://h.test:8080/a b",
        "%2e%2e%2f%2e%2e%2fx", "..%2f..%2fy", "..\\..\\win.htm", "\\\\server\\share", "#top", "", "x.htm#part",
        "a.gif", "dir/b.htm", "dir10/c.htm", "sp ace.htm", "caf\u00e9/\u00fc.htm", "\ud83d\ude00.png", "nul\u0000byte.htm",
        "javascript:alert(1)", "mailto:a@b", "//evil.test/p", "?q=1", "x7fenwix.htm", "a.htm?x=../../y", "..", ".", "/",
        "'", "\"", "''", "\"\"", "'mixed\"", "\"in\"ner\"", "<x7Element>", "&amp;&lt;", "\t\n", "a>b", "C:\\x\\y.gif",
    };

    /** The forms a link attribute takes: double, single or no quotes, spaces around '='. */
    static String attr(Random r, String name, String value) {
        switch (r.nextInt(5)) {
            case 0: return name + "=\"" + value + "\"";
            case 1: return name + "='" + value + "'";
            case 2: return name + "=" + value;
            case 3: return name + " = \"" + value + "\"";
            default: return name.toUpperCase(Locale.ROOT) + "=\"" + value + "\"";
        }
    }

    static String linkTag(Random r) {
        String v = VALUES[r.nextInt(VALUES.length)];
        switch (r.nextInt(7)) {
            case 0: return "<a " + attr(r, "href", v) + ">";
            case 1: return "<A title=x " + attr(r, "HREF", v) + " target=_top>";
            case 2: return "<img " + attr(r, "src", v) + " alt='" + v + "'>";
            case 3: return "<IMG " + attr(r, "SRC", v) + "/>";
            case 4: return "<frame name=f " + attr(r, "src", v) + ">";
            case 5: return "<link rel=stylesheet " + attr(r, "href", v) + ">";
            default: return "<a name=anchor>";
        }
    }

    private static final String[] MARKUP = {
        "</a>", "</A >", "<title>", "</title>", "<head>", "</head>", "<body>", "</body>", "<html>", "</HTML>",
        "<frameset>", "</frameset>", "<meta charset=utf-8>", "<p>", "<br/>", "<!-- <a href=x.htm> -->",
        "<!DOCTYPE html>", "<", ">", "<>", "</>", "< a>", "<a", "'", "\"", " ", "\n", "text", "\u00e9", "\ud83d\ude00",
        "\u0000", "<<a>>", "<script>if (a < b && c > d) {}</script>", "<aa>", "<imgs>", "=", "&quot;",
    };

    static String randomPage(Random r) {
        int n = r.nextInt(80);
        StringBuilder b = new StringBuilder();
        for (int i = 0; i < n; i++) {
            int k = r.nextInt(10);
            if (k < 3) b.append(linkTag(r));
            else if (k < 8) b.append(MARKUP[r.nextInt(MARKUP.length)]);
            else b.append((char) (' ' + r.nextInt(95)));
        }
        return b.toString();
    }

    /** A few random edits: tags and characters put in, ranges cut out or doubled, a cut-off end. */
    static String mutate(String page, Random r) {
        StringBuilder b = new StringBuilder(page);
        int edits = 1 + r.nextInt(8);
        for (int i = 0; i < edits; i++) {
            int at = b.length() == 0 ? 0 : r.nextInt(b.length());
            switch (r.nextInt(7)) {
                case 0:
                    b.insert(at, linkTag(r));
                    break;
                case 1:
                    b.insert(at, MARKUP[r.nextInt(MARKUP.length)]);
                    break;
                case 2:
                    b.delete(at, Math.min(b.length(), at + r.nextInt(300)));
                    break;
                case 3: {
                    int end = Math.min(b.length(), at + r.nextInt(400));
                    b.insert(end, b.substring(at, end));
                    break;
                }
                case 4:
                    if (at < b.length()) b.setCharAt(at, "<>'\"=\u0000 /".charAt(r.nextInt(8)));
                    break;
                case 5:
                    b.insert(at, VALUES[r.nextInt(VALUES.length)]);
                    break;
                default:
                    if (r.nextInt(4) == 0) b.setLength(at);
            }
        }
        return b.toString();
    }

    /** The page as a UTF-8 reader gives it back (a lone surrogate cannot be encoded). */
    static String asRead(String page) {
        return new String(page.getBytes(StandardCharsets.UTF_8), StandardCharsets.UTF_8);
    }

    /** The real pages of the sqlite3 documentation, smallest first up to maxBytes each. */
    static List<File> sqlitePages(long maxBytes) {
        List<File> out = new ArrayList<>();
        for (String d : new String[] {"/usr/share/doc/sqlite3", "/usr/share/doc/sqlite3-doc"}) {
            File[] files = new File(d).listFiles((dir, n) -> n.endsWith(".html"));
            if (files == null) continue;
            for (File f : files) {
                if (f.length() <= maxBytes) out.add(f);
            }
        }
        out.sort((a, b) -> a.getName().compareTo(b.getName()));
        return out;
    }

    static String read(File f) throws IOException {
        return new String(Files.readAllBytes(f.toPath()), StandardCharsets.UTF_8);
    }

    // The rewrite pass.

    /** An element whose tree (built from it) records every replaceAttribute call. */
    static final class Element extends x7Element {
        final List<String> replaced = new ArrayList<>();

        public Element(String tag) {
            super(tag);
        }

        @Override
        public boolean replaceAttribute(String name, String value) {
            replaced.add(name + "=" + value);
            return super.replaceAttribute(name, value);
        }
    }

    /** Saved files and URLs that a link may name: deep, shallow, sibling dirs, letters beyond ASCII, a NUL. */
    static final String[] FILES = {
        "/m/site 8080/a.gif", "/m/site 8080/dir/b.htm", "/m/site 8080/dir1/c.htm", "/m/site 8080/dir10/d/e.htm",
        "/m/other/x7fenwix.htm", "/m/site 8080/caf\u00e9/\u00fc.htm", "/m/site 8080/\ud83d\ude00/p.png",
        "/m/site 8080/n\u0000l/q.htm", "/m/site 8080/dir/sub/deeper/f.htm",
    };
    static final String[] PARENTS = {
        "/m/site 8080/dir/page.htm", "/m/site 8080/x7fenwix.htm", "/m/site 8080/dir10/d/p.htm",
        "/m/site 8080/caf\u00e9/p.htm",
    };

    /**
     * An UpdParent whose findMatch maps each link text, by its hash, to no
     * node, a saved node or a node that was not saved; it records what it was asked.
     */
    static final class Page extends UpdParent {
        final List<String> asked = new ArrayList<>();

        Page(String parentFile) throws MalformedURLException {
            super(saved(new URL("http://site.test:8080/page.htm"), parentFile), u -> null);
        }

        @Override
        public NodeURL findMatch(String link) {
            asked.add(link);
            return target(link);
        }
    }

    static NodeURL saved(URL url, String file) {
        NodeURL n = new NodeURL(0, -1, url, null);
        n.setLoadedFilename(file);
        n.setResponseCode(200);
        n.setDownloaded();
        return n;
    }

    /** The node a link text names in these pages; a pure function of the text. */
    static NodeURL target(String link) {
        int h = Math.floorMod(link.hashCode() * 31 + 7, 12);
        try {
            if (h < 3) return null;
            if (h < 9) return saved(new URL("http://site.test:8080/t" + h), FILES[h]);
            NodeURL n = new NodeURL(1, 0, new URL("http://site.test:8080/not/loaded" + h + ".htm?q=" + h), null);
            n.setResponseCode(404);
            n.setNotFound();
            return n;
        } catch (MalformedURLException e) {
            throw new IllegalStateException(e);
        }
    }

    /** Link text: one pair of matching enclosing quotes removed. */
    static String strip(String v) {
        if (v.length() > 1 && (v.charAt(0) == '\'' || v.charAt(0) == '"') && v.charAt(v.length() - 1) == v.charAt(0)) {
            return v.substring(1, v.length() - 1);
        }
        return v;
    }

    /** The path from the parent's file to the target's: common leading directories dropped, one "../" per one left. */
    static String relative(String parent, String target) {
        String p = parent;
        String t = target;
        for (int i = t.indexOf('/'); i >= 0; i = t.indexOf('/')) {
            String dir = t.substring(0, i + 1);
            if (!p.startsWith(dir)) break;
            p = p.substring(i + 1);
            t = t.substring(i + 1);
        }
        int depth = (int) p.chars().filter(c -> c == '/').count();
        return "../".repeat(depth) + t;
    }

    private static final Map<String, String> ROWS = Map.of("img", "src", "frame", "src", "a", "href");

    /** What the rewrite did, for the figures. */
    static final class Outcome {
        int elements;
        int rewritten;
        int asked;
    }

    /**
     * Runs repAttrib over every element of the tree, with the lower-case tag
     * name as the mirror does, and checks: the link text asked for each link
     * tag, the new value of each changed link, tags that must not change, and
     * that the page written back differs from the original only inside the
     * rewritten values.
     */
    static Outcome rewriteAndCheck(Element root, String original, String parentFile, String what)
            throws MalformedURLException {
        Page up = new Page(parentFile);
        List<x7Element> all = Trees.flatten(root);
        Map<x7Element, String> before = new IdentityHashMap<>();
        for (x7Element e : all) before.put(e, e.getTagText());
        List<String> expectAsked = new ArrayList<>();
        Outcome o = new Outcome();
        boolean anyChange = false;
        for (x7Element x : all) {
            Element e = (Element) x;
            String name = e.getTagname();
            if (name == null || name.isEmpty()) continue;
            String tag = name.toLowerCase(Locale.ROOT);
            up.repAttrib(e, tag);
            o.elements++;
            String attribute = ROWS.get(tag);
            String raw = attribute == null ? null : attrOf(before.get(e), attribute);
            String expected = null;
            if (raw != null) {
                String link = strip(raw);
                expectAsked.add(link);
                NodeURL t = target(link);
                if (t != null) {
                    String value = t.isLoaded() ? relative(parentFile, t.getLoadedFilename()) : t.getURL().toString();
                    if (!value.equals(link)) expected = value;
                }
            }
            String at = what + ", element " + before.get(e);
            if (expected == null) {
                assertEquals(List.of(), e.replaced, at);
                assertEquals(before.get(e), e.getTagText(), at);
            } else {
                anyChange = true;
                o.rewritten++;
                assertEquals(List.of(attribute + "=" + expected), e.replaced, at);
                assertConfined(before.get(e), e.getTagText(), attribute, expected, at);
            }
        }
        o.asked = expectAsked.size();
        assertEquals(expectAsked, up.asked, what + ": link texts looked up");
        assertEquals(anyChange, up.isModified, what);
        // The tree with its old tags gives the page; with its new ones, the
        // written page. (A page holding the placeholder text cannot be
        // written back from its tree.)
        if (!original.contains(x7Element.PLACEHOLDER)) {
            assertEquals(original, write(root, before), what);
            assertEquals(root.toString(), write(root, null), what);
        }
        return o;
    }

    private static String attrOf(String tag, String attribute) {
        return new x7Element(tag).getAttribute(attribute);
    }

    /** The tag changed inside the attribute's value and nowhere else, and the value is the new one. */
    private static void assertConfined(String before, String after, String attribute, String value, String at) {
        String oldRaw = attrOf(before, attribute);
        String newRaw = attrOf(after, attribute);
        assertNotNull(newRaw, at);
        assertEquals(value, strip(newRaw), at);
        int cp = 0;
        int max = Math.min(before.length(), after.length());
        while (cp < max && before.charAt(cp) == after.charAt(cp)) cp++;
        int cs = 0;
        while (cs < max - cp && before.charAt(before.length() - 1 - cs) == after.charAt(after.length() - 1 - cs)) cs++;
        assertTrue(covers(before, oldRaw, cp, before.length() - cs) && covers(after, newRaw, cp, after.length() - cs),
                at + " became " + after);
    }

    /** Whether some occurrence of value in tag, with the '=' before it, spans [from, to). */
    private static boolean covers(String tag, String value, int from, int to) {
        if (from >= to) return true;
        for (int i = tag.indexOf(value); i >= 0; i = tag.indexOf(value, i + 1)) {
            int start = i > 0 && tag.charAt(i - 1) == '=' ? i - 1 : i;
            if (start <= from && i + value.length() >= to) return true;
        }
        return false;
    }

    /** The page from the tree, each element's tag taken from tags (its current tag when null). */
    static String write(x7Element root, Map<x7Element, String> tags) {
        StringBuilder b = new StringBuilder();
        write(root, tags, b);
        return b.toString();
    }

    private static void write(x7Element e, Map<x7Element, String> tags, StringBuilder b) {
        b.append(tags == null ? e.getTagText() : tags.get(e));
        String d = e.data.toString();
        int from = 0;
        for (x7Element c : e.children) {
            int at = d.indexOf(x7Element.PLACEHOLDER, from);
            b.append(d, from, at);
            write(c, tags, b);
            from = at + x7Element.PLACEHOLDER.length();
        }
        b.append(d, from, d.length());
    }
}
