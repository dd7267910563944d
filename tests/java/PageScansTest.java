import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.tolvak.fenwix.NodeURL;

import java.io.ByteArrayInputStream;
import java.io.File;
import java.io.InputStreamReader;
import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.List;
import java.util.Set;

import org.junit.jupiter.api.Test;

/**
 * Pages scanned beside the crawl: the crawl list ends as it does with every
 * page scanned in line, and the trees the scans read serve the rewrite pass
 * only while they give back the page as it is on disk.
 */
class PageScansTest {
    static File write(File dir, String name, String text) throws Exception {
        File f = new File(dir, name);
        f.getParentFile().mkdirs();
        Files.writeString(f.toPath(), text, StandardCharsets.UTF_8);
        return f;
    }

    static x7Element read(byte[] page, Charset encoding) throws Exception {
        x7Element tree = new x7Element("");
        try (InputStreamReader in = new InputStreamReader(new ByteArrayInputStream(page), encoding)) {
            tree.findChild(in);
        }
        return tree;
    }

    /** A site of pages that link to each other, many of them to the same pages. */
    private static void site(File docRoot, String base) throws Exception {
        StringBuilder index = new StringBuilder("<html><body>");
        for (int i = 0; i < 12; i++) index.append("<a href=p").append(i).append(".html>").append(i).append("</a>\n");
        write(docRoot, "index.html", index.append("<img src=logo.gif></body></html>\n").toString());
        for (int i = 0; i < 12; i++) {
            StringBuilder p = new StringBuilder("<p>page ").append(i);
            for (int k = 0; k < 1 + i % 4; k++) {
                p.append(" <a href='p").append((i * 5 + k) % 15).append(".html'>n</a>");
            }
            p.append(" <a href=\"").append(base).append("/deep/d").append(i).append(".html\">d</a>");
            p.append(" <img src=img").append(i % 3).append(".gif>\n");
            write(docRoot, "p" + i + ".html", p.toString());
            write(docRoot, "deep/d" + i + ".html", "<a href=../index.html>up</a> <a href=x" + i + ".html>x</a>\n");
        }
        for (int i = 0; i < 3; i++) write(docRoot, "img" + i + ".gif", "GIF89a" + i);
        write(docRoot, "logo.gif", "GIF89a");
    }

    private static List<String> crawl(Nginx web, File mirror, int threads) throws Exception {
        return crawl(web, mirror, threads, Integer.MAX_VALUE);
    }

    private static List<String> crawl(Nginx web, File mirror, int threads, int depth) throws Exception {
        UrlLoad crawler = new UrlLoad(mirror);
        PageScans scans = threads == 0 ? null : PageScans.start(crawler, threads);
        crawler.setPageScans(scans);
        List<String> done = new ArrayList<>();
        try {
            crawler.addStart(web.url("/index.html"));
            new Crawl(crawler).run(n -> n.getURL().getPort() == web.port() && n.getLevel() <= depth,
                    n -> done.add(n.getURL() + " " + n.getResponseCode()));
        } finally {
            if (scans != null) scans.stop();
        }
        List<String> list = new ArrayList<>();
        for (NodeURL n : crawler.urlToLoad) {
            list.add(n.getLevel() + " " + n.getParentIndex() + " " + n.getURL() + " " + n.getString());
        }
        list.add("done: " + done);
        return list;
    }

    @Test
    void theCrawlListIsTheSameWithScansBesideTheCrawl() throws Exception {
        File docRoot = Jvm.tempDir("page-scans-site");
        try (Nginx web = Nginx.start(docRoot)) {
            site(docRoot, "http://127.0.0.1:" + web.port());
            List<String> inLine = crawl(web, Jvm.tempDir("page-scans-inline"), 0);
            // about 90 links, each URL in the list once: a link found again is dropped as it is found
            List<String> urls = new ArrayList<>();
            for (String l : inLine) {
                if (!l.startsWith("done:")) urls.add(l.split(" ")[2]);
            }
            assertTrue(urls.size() > 40, inLine.toString());
            assertEquals(new java.util.HashSet<>(urls).size(), urls.size(), inLine.toString());
            for (int threads : new int[] {1, 2, 4}) {
                assertEquals(inLine, crawl(web, Jvm.tempDir("page-scans-" + threads), threads), threads + " threads");
            }
        }
    }

    /**
     * A URL linked first from deeper down (an anchor of a page) and then
     * nearer the start (an image of another page, at its page's level): too
     * deep the first time, it is fetched the second, with scans in line or
     * beside the crawl.
     */
    @Test
    void aLinkFoundAgainNearerTheStartIsKept() throws Exception {
        File docRoot = Jvm.tempDir("page-scans-levels");
        try (Nginx web = Nginx.start(docRoot)) {
            write(docRoot, "index.html", "<a href=p.html>p</a> <a href=q.html>q</a>\n");
            write(docRoot, "p.html", "<a href=t.gif>t</a> <a href=t.gif>again</a>\n");
            write(docRoot, "q.html", "<img src=t.gif> <a href=t.gif>too deep</a>\n");
            write(docRoot, "t.gif", "GIF89a");
            for (int threads : new int[] {0, 2}) {
                List<String> list = crawl(web, Jvm.tempDir("page-scans-levels-" + threads), threads, 1);
                String done = list.get(list.size() - 1);
                assertTrue(done.contains("/t.gif 200"), threads + " threads: " + list);
                // t.gif at level 2 from p.html, then at level 1 from q.html; the rest dropped
                assertEquals(5, list.size() - 1, threads + " threads: " + list);
            }
        }
    }

    /**
     * A crawl whose pages are scanned beside it, then one saved page changes
     * on disk before the pass: the pass rewrites each page as it is now, a
     * UTF-8 page in its own charset.
     */
    @Test
    void thePassRewritesThePagesAsTheyAreNow() throws Exception {
        File docRoot = Jvm.tempDir("page-trees-site");
        File mirror = Jvm.tempDir("page-trees-mirror");
        try (Nginx web = Nginx.start(docRoot)) {
            String base = "http://127.0.0.1:" + web.port();
            write(docRoot, "index.html", "<html><body><a href=\"" + base + "/a.html\">a</a> <a href=b.html>b</a>"
                    + " caf\u00e9</body></html>\n");
            write(docRoot, "a.html", "<p>first <a href=\"" + base + "/index.html\">home</a>\n");
            write(docRoot, "b.html", "<p>b\n");

            UrlLoad crawler = new UrlLoad(mirror);
            PageScans scans = PageScans.start(crawler, 2);
            crawler.setPageScans(scans);
            try {
                crawler.addStart(web.url("/index.html"));
                new Crawl(crawler).run(n -> n.getURL().getPort() == web.port(), null);
            } finally {
                scans.stop();
            }
            NodeURL index = crawler.known(web.url("/index.html"));
            NodeURL a = crawler.known(web.url("/a.html"));
            assertTrue(index.isLoaded() && a.isLoaded());
            // the saved a.html changes after its tree was read
            Files.writeString(new File(a.getLoadedFilename()).toPath(),
                    "<p>second <a href=\"" + base + "/b.html\">b</a>\n", StandardCharsets.ISO_8859_1);

            LinkRewrite rw = new LinkRewrite(crawler);
            rw.run(Set.of());

            String savedA = Files.readString(new File(a.getLoadedFilename()).toPath(), StandardCharsets.ISO_8859_1);
            assertTrue(savedA.startsWith("<p>second <a href="), savedA);
            assertFalse(savedA.contains(base), "the link of the page as it is now is rewritten: " + savedA);
            String savedIndex = Files.readString(new File(index.getLoadedFilename()).toPath(), StandardCharsets.UTF_8);
            assertFalse(savedIndex.contains(base), savedIndex);
            assertTrue(savedIndex.contains(">a</a> <a href=b.html>b</a> caf\u00e9</body></html>"), savedIndex);
            assertEquals(0, rw.pagesLeft);
        }
    }
}
