import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.net.URL;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;
import java.util.function.Predicate;

import org.junit.jupiter.api.Test;

/**
 * A crawl of a small site served by nginx: each saved page is read into its
 * tree, its links become nodes, and the crawl goes on from page to page,
 * reaching pages that only other pages link to.
 */
class CrawlTest {
    /** The site: path and content. Only index.html is given to the crawl. */
    static final String[][] SITE = {
        {"index.html", "<html><head><title>Home</title><link rel=stylesheet href=\"style.css\"></head>\n"
                + "<body><a href=\"a/one.html\">One</a> <A HREF='b/two.htm'>Two</A>\n"
                + "<img src=logo.gif><a href=\"mailto:x@example.test\">mail</a><!-- <a href=hidden.html> --></body></html>\n"},
        {"a/one.html", "<p>one: <a href=\"../b/two.htm#top\">two</a> <a href=deep/three.html>three</a>"
                + " <a href=\"/index.html\">home</a>\n"},
        {"b/two.htm", "<FRAMESET cols=\"*\"><FRAME SRC=\"../a/deep/frame.html\"></FRAMESET>\n"},
        {"a/deep/three.html", "<p>end <a href=\"http://other.invalid/x.html\">elsewhere</a> <a href=four.html>four</a>\n"},
        {"a/deep/four.html", "<p>beyond the level limit\n"},
        {"a/deep/frame.html", "<body><img src=\"../../logo.gif\"><a href='../../unlisted/'>listing</a></body>\n"},
        {"unlisted/index.html", "<p>a directory page\n"},
        {"style.css", "body { color: black }\n"},
        {"logo.gif", "GIF89a-not-really\n"},
        {"orphan.html", "<p>no page links here\n"},
    };

    static File site() throws Exception {
        File docRoot = Jvm.tempDir("crawl-site");
        for (String[] p : SITE) {
            File f = new File(docRoot, p[0]);
            f.getParentFile().mkdirs();
            Files.write(f.toPath(), p[1].getBytes(StandardCharsets.UTF_8));
        }
        return docRoot;
    }

    /** level, path and the path of the page that linked to it, of each node the crawl took up. */
    static Map<String, String> crawl(UrlLoad crawler, Nginx web) {
        crawler.addStart(web.url("/index.html"));
        List<NodeURL> taken = new ArrayList<>();
        Predicate<NodeURL> accept = n -> n.getURL().getHost().equals("127.0.0.1")
                && n.getURL().getPort() == web.port() && n.getLevel() <= 2;
        new Crawl(crawler).run(accept, taken::add);
        Map<String, String> out = new TreeMap<>();
        for (NodeURL n : taken) {
            int parent = n.getParentIndex();
            String from = parent < 0 ? "-" : crawler.urlToLoad.get(parent).getURL().getPath();
            out.put(n.getURL().getPath(), n.getLevel() + " from " + from + (n.isLoaded() ? "" : " NOT LOADED"));
        }
        return out;
    }

    @Test
    void crawlFollowsLinksFromPageToPage() throws Exception {
        File docRoot = site();
        File mirror = Jvm.tempDir("crawl-mirror");
        try (Nginx web = Nginx.start(docRoot)) {
            UrlLoad crawler = new UrlLoad(mirror);
            Map<String, String> reached = crawl(crawler, web);
            Map<String, String> expected = new TreeMap<>(Map.of(
                    "/index.html", "0 from -",
                    "/style.css", "0 from /index.html",
                    "/a/one.html", "1 from /index.html",
                    "/b/two.htm", "1 from /index.html",
                    "/logo.gif", "0 from /index.html",
                    "/a/deep/three.html", "2 from /a/one.html",
                    "/a/deep/frame.html", "1 from /b/two.htm",
                    "/unlisted/", "2 from /a/deep/frame.html"));
            assertEquals(expected, reached, crawler.getLog());

            // every page and file fetched once, nothing that no link leads to
            List<String> requested = new ArrayList<>();
            for (Nginx.Entry e : web.awaitAccessLog(expected.size())) requested.add(e.path);
            assertEquals(expected.size(), requested.size(), requested.toString());
            assertTrue(requested.containsAll(expected.keySet()), requested.toString());

            for (String[] p : SITE) {
                String path = "/" + p[0];
                File local = crawler.localFileFor(web.url(path.replace("unlisted/index.html", "unlisted/")));
                boolean wanted = expected.containsKey(path) || path.equals("/unlisted/index.html");
                assertEquals(wanted, local.isFile(), local.getPath());
                if (wanted) assertArrayEquals(p[1].getBytes(StandardCharsets.UTF_8), Files.readAllBytes(local.toPath()));
            }
            File directoryPage = new File(mirror, "127.0.0.1 " + web.port() + "/unlisted/x7fenwix.htm");
            assertTrue(directoryPage.isFile());
            assertEquals("", crawler.getLog());

            // A second crawl into the same mirror finds every copy current and
            // reads the saved pages instead: the same nodes from the same pages.
            int before = web.accessLog().size();
            UrlLoad again = new UrlLoad(mirror);
            assertEquals(expected, crawl(again, web), again.getLog());
            for (Nginx.Entry e : web.awaitAccessLog(before + expected.size()).subList(before, before + expected.size())) {
                assertEquals(304, e.status, e.toString());
            }
            assertTrue(again.urlToLoad.get(0).isPreviouslyDownloaded());
        }
    }
}
