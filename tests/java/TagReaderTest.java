import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

import java.io.ByteArrayInputStream;
import java.io.IOException;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;

import org.junit.jupiter.api.Test;

class TagReaderTest {
    static final String P = x7Element.PLACEHOLDER;

    @Test
    void workedExampleBuildsTheTree() {
        String page = "<html><head><title>T</title></head><body>Hi <img src=x.gif> <p>there</body></html>";
        x7Element root = Trees.read(page);
        assertEquals(P, root.data.toString());
        assertEquals(1, root.children.size());

        x7Element html = root.children.get(0);
        assertEquals("<html>", html.getTagText());
        assertEquals(P + P + "</html>", html.data.toString());
        assertEquals(2, html.children.size());

        x7Element head = html.children.get(0);
        assertEquals(P + "</head>", head.data.toString());
        x7Element title = head.children.get(0);
        assertEquals("<title>", title.getTagText());
        assertEquals("T</title>", title.data.toString());
        assertTrue(title.children.isEmpty());

        x7Element body = html.children.get(1);
        assertEquals("Hi " + P + " <p>there</body>", body.data.toString());
        assertEquals(1, body.children.size());
        x7Element img = body.children.get(0);
        assertEquals("<img src=x.gif>", img.getTagText());
        assertEquals("", img.data.toString());
        assertTrue(img.children.isEmpty());

        assertEquals(page, root.toString());
        assertTrue(root.isFaithful());
    }

    @Test
    void eachCallReadsOneTagAndTheEndsReturnZero() {
        x7Element root = new x7Element("");
        InputStreamReader r = Trees.reader("ab<p>c<img>d</x>");
        assertEquals(1, root.doOneTag(r));
        assertEquals("ab<p>", root.data.toString());
        assertEquals(1, root.doOneTag(r));
        assertEquals("ab<p>c" + P, root.data.toString());
        assertEquals(1, root.doOneTag(r), "an end tag that closes nothing is text");
        assertEquals(0, root.doOneTag(r));
        assertEquals("ab<p>c" + P + "d</x>", root.data.toString());
        assertEquals(0, root.doOneTag(r), "the end of the stream stays the end");

        x7Element empty = new x7Element("");
        assertEquals(0, empty.doOneTag(Trees.reader("")));
        assertEquals("", empty.data.toString());
        assertTrue(empty.children.isEmpty());

        x7Element a = new x7Element("<a href=x>");
        assertEquals(0, a.doOneTag(Trees.reader("link</a>after")), "the end tag ends the element");
        assertEquals("link</a>", a.data.toString());
    }

    @Test
    void quotesAndCommentsDoNotHideTheirGreaterThan() {
        x7Element root = Trees.read("<a title='x>y'>z</a>");
        x7Element a = root.children.get(0);
        assertEquals("<a title='x>", a.getTagText());
        assertEquals("y'>z</a>", a.data.toString());

        root = Trees.read("<!-- a > b -->");
        assertEquals("<!-- a > b -->", root.data.toString());
        assertTrue(root.children.isEmpty());

        root = Trees.read("<img alt='<a>' src=x.gif>rest");
        assertEquals(1, root.children.size(), "a '<' inside a tag is an ordinary character");
        assertEquals("<img alt='<a>", root.children.get(0).getTagText());
        assertEquals(P + "' src=x.gif>rest", root.data.toString());
    }

    @Test
    void pageEndingInsideATagKeepsTheUnfinishedTagAsText() {
        x7Element root = new x7Element("");
        assertEquals(0, root.doOneTag(Trees.reader("abc<img src=")));
        assertEquals("abc<img src=", root.data.toString());
        assertTrue(root.children.isEmpty());

        // inside open containers: the innermost keeps it, the others close
        String page = "<html><body>x<a href='p";
        root = Trees.read(page);
        assertEquals(page, root.toString());
        x7Element body = root.children.get(0).children.get(0);
        assertEquals("x<a href='p", body.data.toString());
        assertTrue(body.children.isEmpty());
    }

    @Test
    void unclosedContainerTakesTheRestOfThePage() {
        x7Element root = Trees.read("<p><a href=1>one <b>two</b><img src=i.gif></body></html>");
        assertEquals("<p>" + P, root.data.toString());
        x7Element a = root.children.get(0);
        assertEquals("one <b>two</b>" + P + "</body></html>", a.data.toString());
        assertEquals(1, a.children.size());

        // an end tag closes only its own element, never an outer one
        root = Trees.read("<head><title>t</head></title>x</head>y");
        x7Element head = root.children.get(0);
        assertEquals("t</head></title>", head.children.get(0).data.toString());
        assertEquals(P + "x</head>", head.data.toString());
        assertEquals(P + "y", root.data.toString());
    }

    @Test
    void namesAreComparedWithoutRegardToCase() {
        x7Element root = Trees.read("<IMG SRC=a.gif><Img src=b.gif><A HREF=x>in</a>out<Title>T</TITLE><META x>");
        assertEquals(5, root.children.size());
        assertEquals("<IMG SRC=a.gif>", root.children.get(0).getTagText());
        assertEquals("<Img src=b.gif>", root.children.get(1).getTagText());
        assertEquals("in</a>", root.children.get(2).data.toString());
        assertEquals("T</TITLE>", root.children.get(3).data.toString());
        assertEquals(P + P + P + "out" + P + P, root.data.toString());

        // names of the lists as prefixes or longer names are other tags
        root = Trees.read("<abbr>x</abbr><imgs><bodyx><links>");
        assertTrue(root.children.isEmpty());
        assertEquals("<abbr>x</abbr><imgs><bodyx><links>", root.data.toString());
    }

    @Test
    void tagsOutsideTheListsStayVerbatim() {
        String page = "<p class=x>a<br/><table><tr><td>1</td></tr></table><script>if(a<b)x();</script>";
        x7Element root = Trees.read(page);
        assertTrue(root.children.isEmpty());
        assertEquals(page, root.data.toString());
    }

    static class Sub extends x7Element {
        Sub(String tag) {
            super(tag);
        }
    }

    @Test
    void childrenAreOfTheReceiversOwnClass() {
        Sub root = new Sub("");
        root.findChild(Trees.reader("<html><body><a href=x><img src=y></a></body></html>"));
        List<x7Element> all = Trees.flatten(root);
        assertEquals(5, all.size());
        for (x7Element e : all) assertInstanceOf(Sub.class, e);
    }

    /** An element that gives no name for tags starting with "<q". */
    static class Nameless extends x7Element {
        Nameless(String tag) {
            super(tag);
        }

        @Override
        public String getTagname() {
            return getTagText().startsWith("<q") ? null : super.getTagname();
        }
    }

    @Test
    void tagWithoutANameStaysText() {
        Nameless root = new Nameless("");
        root.findChild(Trees.reader("<q a>x<qimg>y<img>"));
        assertEquals("<q a>x<qimg>y" + P, root.data.toString());
        assertEquals(1, root.children.size());
    }

    @Test
    void placeholderTextInThePageStaysText() {
        String page = "a<x7Element>b<img src=i.gif>c";
        x7Element root = Trees.read(page);
        assertEquals("a" + P + "b" + P + "c", root.data.toString());
        assertEquals(1, root.children.size());
        assertFalse(root.isFaithful(), "the tree cannot tell the page's placeholder from its child");
    }

    @Test
    void everyCharacterOfTheTextArrives() {
        StringBuilder b = new StringBuilder();
        for (char c = 1; c < 0xd800; c += 7) {
            if (c != '<') b.append(c);
        }
        b.append('\u0000').append("\ud83d\ude00").append('\uffff');
        String text = b.toString();
        x7Element root = Trees.read(text + "<img alt=\u00e9\u20ac>");
        assertEquals(text + P, root.data.toString());
        assertEquals("<img alt=\u00e9\u20ac>", root.children.get(0).getTagText());
    }

    /** A reader that fails after handing out a few characters. */
    static class FailingReader extends InputStreamReader {
        int left;

        FailingReader(String page, int left) {
            super(new ByteArrayInputStream(page.getBytes(StandardCharsets.UTF_8)), StandardCharsets.UTF_8);
            this.left = left;
        }

        @Override
        public int read() throws IOException {
            if (left-- == 0) throw new IOException("disk gone");
            return super.read();
        }
    }

    @Test
    void readerFailureLeavesTheElementWithTheExceptionPending() {
        String page = "ab<html><a href=x>link</a></html>";
        int[] lefts = {0, 2, 6, 12, 20};
        String[] rootData = {"", "ab", "ab", "ab", "ab"};
        int[] htmlChildren = {-1, -1, -1, 0, 1};
        for (int i = 0; i < lefts.length; i++) {
            int left = lefts[i];
            x7Element root = new x7Element("");
            FailingReader r = new FailingReader(page, left);
            try {
                root.findChild(r);
                fail("the reader's exception reaches the caller");
            } catch (Exception e) {
                assertInstanceOf(IOException.class, e);
                assertEquals("disk gone", e.getMessage());
            }
            // the element being read when the reader failed gets no placeholder
            assertEquals(rootData[i], root.data.toString());
            if (htmlChildren[i] < 0) {
                assertTrue(root.children.isEmpty());
            } else {
                assertEquals(htmlChildren[i], root.children.get(0).children.size());
            }
        }
    }

    /** An element whose data was never set: the reader gets an exception, not the JVM a crash. */
    static class NoData extends x7Element {
        NoData(String tag) {
            super(tag);
            data = null;
        }
    }

    @Test
    void elementWithoutDataThrows() {
        try {
            new NoData("").doOneTag(Trees.reader("x"));
            fail("no data to append to");
        } catch (NullPointerException e) {
            assertEquals("data", e.getMessage());
        }
    }

    @Test
    void theTextOfATagIsExactlyWhatWasRead() {
        x7Element root = Trees.read("<A\n  HREF = \"p q.htm\"\t>x</a\n>");
        x7Element a = root.children.get(0);
        assertEquals("<A\n  HREF = \"p q.htm\"\t>", a.getTagText());
        assertEquals("x</a\n>", a.data.toString());
        assertEquals("\"p q.htm\"", a.getAttribute("href"));
        assertNull(a.getAttribute("src"));
        assertSame(a, root.children.get(0));
        assertEquals(new ArrayList<>(List.of(a)), root.children);
    }
}
