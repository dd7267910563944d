import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

import org.junit.jupiter.api.Test;

/** The reference scan through the real library: spans cut out of the bytes, kinds, sizes, bad arguments. */
class PageRefsTest {
    static final int ATTR = PageRefs.IN_ATTR;
    static final int STYLE_ATTR = PageRefs.IN_CSS | PageRefs.IN_ATTR;

    /** Each span as text (ISO-8859-1 keeps every byte) and its kind, "text|kind". */
    static List<String> cut(byte[] doc, List<PageRefs.Ref> refs) {
        List<String> out = new ArrayList<>();
        for (PageRefs.Ref r : refs) {
            out.add(new String(doc, r.start(), r.end() - r.start(), StandardCharsets.ISO_8859_1) + "|" + r.kind());
        }
        return out;
    }

    static String ref(String text, int kind) {
        return text + "|" + kind;
    }

    @Test
    void everyKindOfPageRoundTrips() {
        String page = "<html><head><base href='http://h/d/'><title><a href=no.htm></title>"
                + "<link rel=stylesheet href=\"s.css\"><link rel=icon href=f.ico><link rel=next href=n.htm>"
                + "<meta http-equiv=refresh content=\"9; URL='r.htm'\"><style>p { background: url(\"bg\u00e9.png\") }</style>"
                + "<script src=s.js></script><script>var x = '<img src=no.gif>';</script></head>"
                + "<body background=body.gif><!-- <img src=no.gif> -->"
                + "<A HREF=\"a.htm?x=1&amp;y=2\">a</A><img src=i.gif srcset='i1.gif 1x, i2.gif 2x'>"
                + "<iframe src=if.htm></iframe><p style='background:url(&quot;p.png&quot;)'></p></body></html>";
        byte[] doc = page.getBytes(StandardCharsets.ISO_8859_1);
        List<PageRefs.Ref> refs = PageRefs.of(doc, doc.length, false);
        assertEquals(List.of(ref("http://h/d/", PageRefs.BASE | ATTR), ref("s.css", PageRefs.STYLESHEET | ATTR),
                ref("f.ico", PageRefs.REQUISITE | ATTR), ref("n.htm", PageRefs.NAVIGATION | ATTR),
                ref("r.htm", PageRefs.NAVIGATION | ATTR), ref("bg\u00e9.png", PageRefs.REQUISITE | PageRefs.IN_CSS),
                ref("s.js", PageRefs.REQUISITE | ATTR), ref("body.gif", PageRefs.REQUISITE | ATTR),
                ref("a.htm?x=1&amp;y=2", PageRefs.NAVIGATION | ATTR), ref("i.gif", PageRefs.REQUISITE | ATTR),
                ref("i1.gif", PageRefs.REQUISITE | ATTR), ref("i2.gif", PageRefs.REQUISITE | ATTR),
                ref("if.htm", PageRefs.REQUISITE | ATTR), ref("p.png", PageRefs.REQUISITE | STYLE_ATTR)), cut(doc, refs));
        assertTrue(refs.get(1).is(PageRefs.STYLESHEET) && refs.get(1).target() == PageRefs.STYLESHEET);

        byte[] sheet = "@import 'more.css'; a { background: url( a.png ) } b { x: url(b.woff".getBytes(StandardCharsets.US_ASCII);
        assertEquals(List.of(ref("more.css", PageRefs.STYLESHEET | PageRefs.IN_CSS),
                ref("a.png", PageRefs.REQUISITE | PageRefs.IN_CSS), ref("b.woff", PageRefs.REQUISITE | PageRefs.IN_CSS)),
                cut(sheet, PageRefs.of(sheet, sheet.length, true)));
    }

    @Test
    void twoMegabytePage() {
        StringBuilder b = new StringBuilder("<html><body>");
        b.append("<p title='").append("x".repeat(1 << 20)).append("'>");
        int n = 0;
        while (b.length() < 2 << 20) {
            b.append("<a href=\"page").append(n).append(".htm\"><img src='img").append(n).append(".gif'></a>\n");
            n++;
        }
        byte[] doc = b.toString().getBytes(StandardCharsets.US_ASCII);
        List<String> found = cut(doc, PageRefs.of(doc, doc.length, false));
        assertEquals(2 * n, found.size());
        assertEquals(ref("page0.htm", PageRefs.NAVIGATION | ATTR), found.get(0));
        assertEquals(ref("img" + (n - 1) + ".gif", PageRefs.REQUISITE | ATTR), found.get(2 * n - 1));

        // only the first `length` bytes count, and a tag cut off gives nothing
        assertEquals(2 * n - 1, PageRefs.of(doc, doc.length - "gif'></a>\n".length(), false).size());
        int lastA = b.lastIndexOf("<a href");
        assertEquals(2 * n - 2, PageRefs.of(doc, lastA + "<a href=\"pa".length(), false).size());
    }

    @Test
    void emptyAndBadArguments() {
        assertEquals(List.of(), PageRefs.of(new byte[0], 0, false));
        assertEquals(List.of(), PageRefs.of(new byte[0], 0, true));
        assertArrayEquals(new int[0], PageRefs.scan("<a href=x>".getBytes(StandardCharsets.US_ASCII), 0, false));
        byte[] doc = "<a href=x>".getBytes(StandardCharsets.US_ASCII);
        assertArrayEquals(new int[] {8, 9, PageRefs.NAVIGATION | ATTR}, PageRefs.scan(doc, doc.length, false));
        // the native itself refuses what the Java side would have caught
        assertThrows(IndexOutOfBoundsException.class, () -> PageRefs.scan(doc, doc.length + 1, false));
        assertThrows(IndexOutOfBoundsException.class, () -> PageRefs.scan(doc, -1, false));
        assertThrows(NullPointerException.class, () -> PageRefs.scan(null, 0, false));
        assertThrows(IndexOutOfBoundsException.class, () -> PageRefs.of(doc, 11, false));
        assertEquals(Arrays.asList(ref("x", PageRefs.NAVIGATION | ATTR)), cut(doc, PageRefs.of(doc, doc.length, false)));
    }
}
