import java.io.ByteArrayInputStream;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;
import java.util.Random;

/** Reading pages into element trees for the tests, and a plain model of the tag reader to compare with. */
final class Trees {
    private Trees() {}

    static InputStreamReader reader(String page) {
        return new InputStreamReader(new ByteArrayInputStream(page.getBytes(StandardCharsets.UTF_8)),
                StandardCharsets.UTF_8);
    }

    /** The page read into a new root element through the native tag reader. */
    static x7Element read(String page) {
        x7Element root = new x7Element("");
        root.findChild(reader(page));
        return root;
    }

    /** One line per element, depth-first: indent, class, tag text, data, number of children. */
    static String dump(x7Element e) {
        StringBuilder b = new StringBuilder();
        dump(e, 0, b);
        return b.toString();
    }

    private static void dump(x7Element e, int depth, StringBuilder b) {
        b.append("  ".repeat(depth)).append(e.getClass().getSimpleName()).append(' ')
                .append(e.getTagText()).append(" | ").append(e.data).append(" | ").append(e.children.size()).append('\n');
        for (x7Element c : e.children) dump(c, depth + 1, b);
    }

    // The model: the same reading done in Java over a string, with the
    // host's own names, giving the tree that the native reader must build.

    private static final String[] LEAVES = {"frame", "img", "link", "meta"};
    private static final String[] CONTAINERS = {"a", "body", "frameset", "head", "html", "title"};

    static x7Element model(String page) {
        x7Element root = new x7Element("");
        int[] pos = {0};
        while (modelTag(root, page, pos)) {
            // one tag per step, as the host's loop drives the native one
        }
        return root;
    }

    private static boolean modelTag(x7Element e, String page, int[] pos) {
        int lt = page.indexOf('<', pos[0]);
        if (lt < 0) {
            e.data.append(page, pos[0], page.length());
            pos[0] = page.length();
            return false;
        }
        e.data.append(page, pos[0], lt);
        int gt = page.indexOf('>', lt);
        if (gt < 0) {
            e.data.append(page, lt, page.length());
            pos[0] = page.length();
            return false;
        }
        String tag = page.substring(lt, gt + 1);
        pos[0] = gt + 1;
        x7Element child = new x7Element(tag);
        String name = child.getTagname();
        if (name != null && name.equalsIgnoreCase(e.getEndTagname())) {
            e.data.append(tag);
            return false;
        }
        if (name != null && (in(name, LEAVES) || in(name, CONTAINERS))) {
            e.children.add(child);
            if (in(name, CONTAINERS)) {
                while (modelTag(child, page, pos)) {
                    // the child's content, through its end tag
                }
            }
            e.data.append(x7Element.PLACEHOLDER);
            return true;
        }
        e.data.append(tag);
        return true;
    }

    private static boolean in(String name, String[] names) {
        for (String n : names) {
            if (n.equalsIgnoreCase(name)) return true;
        }
        return false;
    }

    // Hostile pages: tags of both lists in any case, end tags that close
    // nothing, quotes and comments holding '>', stray '<' and '>', the
    // placeholder text, characters beyond ASCII and beyond the BMP.
    private static final String[] TOKENS = {
        "<a href='x>y'>", "<A HREF=\"p.htm\">", "</a>", "</A >", "<img src=a.gif>", "<IMG SRC=b.gif/>",
        "<title>", "</TITLE>", "<head>", "</head>", "<body bgcolor=white>", "</body>", "<html>", "</Html>",
        "<frameset>", "</frameset>", "<frame src=f.htm>", "<link rel=x href=s.css>", "<meta charset=utf-8>",
        "<p>", "<br/>", "</p>", "<!-- a > b -->", "<!DOCTYPE html>", "<", ">", "<>", "</>", "< a>",
        "<a", "/", "'", "\"", " ", "\n", "\t", "text", "é", "\u00ff", "\ud83d\ude00", "\u0000", "&lt;", "<<a>>",
        "<script>if (a < b && c > d) {}</script>", "<aa>", "<abbr>", "<imgs>"
    };

    static String randomPage(Random r) {
        int n = r.nextInt(120);
        StringBuilder b = new StringBuilder();
        for (int i = 0; i < n; i++) {
            if (r.nextInt(500) == 0) {
                b.append(x7Element.PLACEHOLDER);
            } else if (r.nextInt(6) == 0) {
                b.append((char) (' ' + r.nextInt(95)));
            } else {
                b.append(TOKENS[r.nextInt(TOKENS.length)]);
            }
        }
        return b.toString();
    }

    static List<x7Element> flatten(x7Element root) {
        List<x7Element> all = new ArrayList<>();
        List<x7Element> stack = new ArrayList<>();
        stack.add(root);
        while (!stack.isEmpty()) {
            x7Element e = stack.remove(stack.size() - 1);
            all.add(e);
            for (int i = e.children.size() - 1; i >= 0; i--) stack.add(e.children.get(i));
        }
        return all;
    }
}
