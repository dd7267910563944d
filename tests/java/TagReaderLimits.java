import java.io.BufferedWriter;
import java.io.File;
import java.io.FileInputStream;
import java.io.IOException;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;

/**
 * Child JVM scenarios of pages at the limits of the tag reader: nesting deeper
 * than any thread stack, and runs of text and tags of many megabytes.
 */
public class TagReaderLimits {
    public static void main(String[] args) throws Exception {
        File dir = new File(args[1]);
        switch (args[0]) {
            case "nested":
                nested(dir, Integer.parseInt(args[2]));
                break;
            case "bigtext":
                bigText(dir, Integer.parseInt(args[2]));
                break;
            default:
                throw new IllegalArgumentException(args[0]);
        }
    }

    private static void nested(File dir, int anchors) throws Exception {
        File f = new File(dir, "nested.htm");
        try (BufferedWriter w = Files.newBufferedWriter(f.toPath(), StandardCharsets.US_ASCII)) {
            w.write("<html><body>");
            for (int i = 0; i < anchors; i++) w.write("<a>");
            w.write("</body></html>");
        }

        // Read directly: the stack gives out somewhere down the anchors.
        x7Element root = new x7Element("");
        try (InputStreamReader r = new InputStreamReader(new FileInputStream(f))) {
            root.findChild(r);
            System.out.println("direct: read to the end");
        } catch (StackOverflowError e) {
            int depth = 0;
            for (x7Element e1 = root; !e1.children.isEmpty(); e1 = e1.children.get(0)) depth++;
            System.out.println("direct: StackOverflowError");
            System.out.println("depth=" + depth);
        }

        // Through the page scan: no scan, one diagnostic, nothing pending.
        ScanFixture.Crawler crawler = new ScanFixture.Crawler(dir);
        ScanFixture.Page page = new ScanFixture.Page(new java.net.URL("http://nested.test/nested.htm"), f);
        crawler.lURL = page;
        crawler.pHTML(page);
        System.out.println("calls=" + crawler.calls + " baseURL=" + crawler.baseURL + " nodes=" + crawler.urlToLoad.size());
        // The thread is fine afterwards: the next page reads as usual.
        File small = new File(dir, "small.htm");
        Files.write(small.toPath(), "<a href=q.htm>q</a>".getBytes(StandardCharsets.US_ASCII));
        ScanFixture.Page next = new ScanFixture.Page(new java.net.URL("http://nested.test/small.htm"), small);
        crawler.lURL = next;
        crawler.pHTML(next);
        System.out.println("then: nodes=" + crawler.urlToLoad);
    }

    private static void bigText(File dir, int megabytes) throws IOException {
        int n = megabytes << 20;
        File f = new File(dir, "big.htm");
        byte[] text = new byte[n];
        for (int i = 0; i < n; i++) text[i] = (byte) ('a' + i % 26);
        try (java.io.OutputStream o = Files.newOutputStream(f.toPath())) {
            o.write(text);
            // then a tag just as long, which the tag loop reads
            o.write("<img src=".getBytes(StandardCharsets.US_ASCII));
            o.write(text);
            o.write('>');
        }
        x7Element root = new x7Element("");
        try (InputStreamReader r = new InputStreamReader(new FileInputStream(f))) {
            root.findChild(r);
        }
        String data = root.data.toString();
        boolean textIntact = data.length() == n + x7Element.PLACEHOLDER.length()
                && data.equals(new String(text, StandardCharsets.US_ASCII) + x7Element.PLACEHOLDER);
        String tag = root.children.get(0).getTagText();
        boolean tagIntact = tag.length() == n + 10 && tag.startsWith("<img src=abc") && tag.endsWith(">");
        System.out.println("text=" + textIntact + " tag=" + tagIntact + " children=" + root.children.size());
    }
}
