import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.net.URL;
import java.util.ArrayList;
import java.util.List;

import org.junit.jupiter.api.Test;

class PageScanTest {

    private static List<String> urls(UrlLoad crawler) {
        List<String> out = new ArrayList<>();
        for (NodeURL n : crawler.urlToLoad) out.add(n.getLevel() + " " + n.getParentIndex() + " " + n.getURL());
        return out;
    }

    @Test
    void pageNotToBeScannedIsLeftAlone() throws Exception {
        ScanFixture.Crawler crawler = new ScanFixture.Crawler(Jvm.tempDir("noscan"));
        ScanFixture.Page page = ScanFixture.save(crawler, "http://h.test/p.htm", "<a href=x.htm>");
        page.process = false;
        URL before = new URL("http://before.test/");
        crawler.baseURL = before;
        crawler.pHTML(page);
        assertEquals(List.of("processHTML"), page.calls);
        assertTrue(crawler.calls.isEmpty());
        assertSame(before, crawler.baseURL);
        assertTrue(crawler.urlToLoad.isEmpty());
    }

    @Test
    void missingFileIsReportedOnceAndNotScanned() throws Exception {
        File dir = Jvm.tempDir("missing");
        String out = Jvm.run("PageScanScenarios", dir.getPath()).ok().out;
        String gone = new File(dir, "gone/p.htm").getPath();
        assertEquals(String.join("\n",
                "FileNotFoundException occured in FileInputStream.",
                "node calls=[processHTML, getLoadedFilename]",
                "crawler calls=[appendLog]",
                "log=Error reading downloaded file :" + gone + "\\n",
                "baseURL kept=true",
                "FileNotFoundException occured in FileInputStream.",
                "log=Error reading downloaded file :DIR/gone/p.htm\\nError reading downloaded file :DIR/folder.htm\\n",
                ""), out);
    }

    @Test
    void emptyFileIsScannedAsAnEmptyTree() throws Exception {
        ScanFixture.Crawler crawler = new ScanFixture.Crawler(Jvm.tempDir("empty"));
        ScanFixture.Page page = ScanFixture.save(crawler, "http://h.test:8080/d/e/empty.htm", "");
        crawler.baseURL = new URL("http://before.test/");
        crawler.pHTML(page);
        // the last call is the host's count reading the saved name
        assertEquals(List.of("processHTML", "getLoadedFilename", "getURL", "getLoadedFilename"), page.calls);
        // the base and its depth are in place when the scan starts
        assertEquals(List.of("countBaseFileSlash", "scan_html base=http://h.test:8080/d/e/empty.htm count=3"),
                crawler.calls);
        assertEquals(1, crawler.scanned.size());
        x7Element root = crawler.scanned.get(0);
        assertEquals("", root.getTagText());
        assertEquals("", root.data.toString());
        assertTrue(root.children.isEmpty());
        assertSame(page.getURL(), crawler.baseURL);
    }

    @Test
    void eachPageResolvesAgainstItsOwnUrl() throws Exception {
        ScanFixture.Crawler crawler = new ScanFixture.Crawler(Jvm.tempDir("two"));
        ScanFixture.Page one = ScanFixture.save(crawler, "http://one.test/d/p1.htm",
                "<html><body><a href=x.htm>x</a><img src=i.gif></body></html>");
        crawler.urlToLoad.add(one);
        crawler.pHTML(one);
        ScanFixture.Page two = ScanFixture.save(crawler, "http://two.test/e/f/p2.htm",
                "<HTML><BODY><A HREF=\"x.htm\">x</A><IMG SRC='../i.gif'><FRAME SRC=f.htm></BODY></HTML>");
        crawler.urlToLoad.add(two);
        crawler.urlIndex = 4;
        crawler.pHTML(two);
        assertEquals(List.of(
                "0 -1 http://one.test/d/p1.htm",
                "1 0 http://one.test/d/x.htm",
                "0 0 http://one.test/d/i.gif",
                "0 -1 http://two.test/e/f/p2.htm",
                "1 4 http://two.test/e/f/x.htm",
                "0 4 http://two.test/e/i.gif",
                "0 4 http://two.test/e/f/f.htm"), urls(crawler));
        assertSame(two.getURL(), crawler.baseURL);
        assertEquals(2, crawler.scanned.size());
        assertEquals("<HTML>", crawler.scanned.get(1).children.get(0).getTagText());
    }

    @Test
    void baseFileSlashCountIsTheClimbFromTheSavedPageToTheMirrorRoot() throws Exception {
        File root = Jvm.tempDir("count");
        UrlLoad crawler = new UrlLoad(root);
        String[][] cases = {
            {"http://h.test/", "1"},
            {"http://h.test/p.htm", "1"},
            {"http://h.test:8080/a/b/p.htm", "3"},
            {"http://h.test/a/b/", "3"},
        };
        for (String[] c : cases) {
            crawler.lURL = new NodeURL(0, -1, new URL(c[0]), null);
            crawler.lURL.setLoadedFilename(crawler.localFileFor(crawler.lURL.getURL()).getPath());
            crawler.countBaseFileSlash();
            assertEquals(Integer.parseInt(c[1]), crawler.baseFileSlashCount, c[0]);
        }
        // a name beside the root whose text merely starts like the root's is not below it
        String beside = root.getPath() + "x" + File.separator + "h" + File.separator + "p.htm";
        assertEquals(countSeparators(beside) - 1, crawler.slashesBelowRoot(beside));
        assertEquals(0, crawler.slashesBelowRoot(null));
    }

    private static int countSeparators(String s) {
        int n = 0;
        for (char c : s.toCharArray()) if (c == File.separatorChar) n++;
        return n;
    }

    @Test
    void onlyHttpLinksAreFollowed() {
        UrlLoad crawler = new UrlLoad(new File("."));
        for (String l : new String[] {"mailto:a@b", "javascript:go()", " JavaScript:x", "ftp://h/", "data:,x",
                "news:a.b", "file:///etc/passwd"}) {
            assertTrue(crawler.notSupportedProtocol(l), l);
        }
        for (String l : new String[] {"http://h/", "HTTPS://h/", "p.htm", "", "../a b.htm", "?q=a:b", "//h/p",
                "#top", "p.htm?x=http:y"}) {
            assertTrue(!crawler.notSupportedProtocol(l), l);
        }
    }
}
