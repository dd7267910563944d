import com.tolvak.fenwix.NodeURL;

import java.io.BufferedWriter;
import java.io.File;
import java.io.IOException;
import java.io.OutputStream;
import java.net.URL;
import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.List;
import java.util.Random;

/**
 * Child-JVM scenarios of pages of pathological shape read by the page scan
 * (the reader decodes with the JVM's default charset): each prints one line
 * saying what the scan made of it. Arguments: folder, then scenarios, each
 * "name" or "name:size".
 */
public class HostileShapes {
    public static void main(String[] args) throws Exception {
        File dir = new File(args[0]);
        for (int i = 1; i < args.length; i++) {
            String[] s = args[i].split(":");
            int size = s.length > 1 ? Integer.parseInt(s[1]) : 0;
            switch (s[0]) {
                case "nested":
                    nested(dir, size);
                    break;
                case "notag":
                    noTag(dir, size);
                    break;
                case "onlylt":
                    onlyLt(dir, size);
                    break;
                case "chars":
                    chars(dir);
                    break;
                default:
                    throw new IllegalArgumentException(args[i]);
            }
        }
    }

    /** Scans the saved file as the crawl does; the tree it was handed, or null for none. */
    private static x7Element scan(ScanFixture.Crawler crawler, File f) throws IOException {
        ScanFixture.Page page = new ScanFixture.Page(new URL("http://shapes.test/d/" + f.getName()), f);
        crawler.lURL = page;
        int before = crawler.scanned.size();
        crawler.pHTML(page);
        return crawler.scanned.size() > before ? crawler.scanned.get(before) : null;
    }

    private static String decoded(File f) throws IOException {
        return new String(Files.readAllBytes(f.toPath()), Charset.defaultCharset());
    }

    /** Containers of every name, in any case, nested deeper than any stack, then the thread reads on. */
    private static void nested(File dir, int depth) throws Exception {
        String[] open = {"<a>", "<BODY>", "<Frameset>", "<head>", "<html>", "<title>", "<A HREF=x.htm>"};
        File f = new File(dir, "nested.htm");
        Random r = new Random(7);
        try (BufferedWriter w = Files.newBufferedWriter(f.toPath(), StandardCharsets.US_ASCII)) {
            w.write("<img src=first.gif>");
            for (int i = 0; i < depth; i++) w.write(open[r.nextInt(open.length)]);
        }
        ScanFixture.Crawler crawler = new ScanFixture.Crawler(dir);
        x7Element tree = scan(crawler, f);
        System.out.println("nested: scanned=" + (tree != null) + " calls=" + crawler.calls + " nodes="
                + crawler.urlToLoad.size());
        File small = new File(dir, "after.htm");
        Files.writeString(small.toPath(), "<a href=q.htm>q</a>", StandardCharsets.US_ASCII);
        scan(crawler, small);
        System.out.println("then: nodes=" + crawler.urlToLoad);
    }

    /** Text without any tag: NUL, letters beyond ASCII and beyond the BMP among plain ones. */
    private static void noTag(File dir, int megabytes) throws Exception {
        File f = new File(dir, "notag.htm");
        byte[] unit = "plain text \u0000 caf\u00e9 \ud83d\ude00 & > \" ' \n".getBytes(StandardCharsets.UTF_8);
        long n = (long) megabytes << 20;
        try (OutputStream o = new java.io.BufferedOutputStream(Files.newOutputStream(f.toPath()))) {
            for (long w = 0; w < n; w += unit.length) o.write(unit, 0, (int) Math.min(unit.length, n - w));
        }
        report("notag", f, scan(new ScanFixture.Crawler(dir), f));
    }

    /** A page of '<' and nothing else: one tag that never ends. */
    private static void onlyLt(File dir, int kilobytes) throws Exception {
        File f = new File(dir, "lt.htm");
        byte[] b = new byte[kilobytes << 10];
        java.util.Arrays.fill(b, (byte) '<');
        Files.write(f.toPath(), b);
        report("onlylt", f, scan(new ScanFixture.Crawler(dir), f));
    }

    /** NUL and characters beyond the BMP in text, tag names, attribute values and links. */
    private static void chars(File dir) throws Exception {
        File f = new File(dir, "chars.htm");
        String page = "<html>\u0000<a href=\"\ud83d\ude00/\u00e9.htm\">\ud83d\ude00</a><img\u0000 src=x.gif>"
                + "<IMG SRC='n\u0000l.gif'><t\ud83d\ude00g>\u0000\ud800</html>";
        Files.write(f.toPath(), page.getBytes(StandardCharsets.UTF_8));
        ScanFixture.Crawler crawler = new ScanFixture.Crawler(dir);
        x7Element tree = scan(crawler, f);
        report("chars", f, tree);
        // what the page said is what link discovery was given
        List<String> links = new ArrayList<>();
        for (NodeURL n : crawler.urlToLoad) links.add(n.getString());
        List<String> expected = new ArrayList<>();
        String text = decoded(f);
        for (String attr : new String[] {"href=\"", "SRC='"}) {
            int at = text.indexOf(attr) + attr.length();
            expected.add(text.substring(at, text.indexOf(attr.charAt(attr.length() - 1), at)));
        }
        System.out.println("chars: links as written=" + links.equals(expected) + " (" + links.size() + ")");
    }

    private static void report(String name, File f, x7Element tree) throws IOException {
        if (tree == null) {
            System.out.println(name + ": not scanned");
            return;
        }
        String page = decoded(f);
        System.out.println(name + ": scanned, round trip=" + page.equals(tree.toString()) + ", faithful="
                + tree.isFaithful() + ", elements=" + Trees.flatten(tree).size());
    }
}
