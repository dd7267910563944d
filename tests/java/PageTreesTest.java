import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.Set;
import java.util.concurrent.TimeUnit;

import org.junit.jupiter.api.Test;

/**
 * Pages read into trees beside the crawl for the rewrite pass: a tree serves
 * only while it gives back the page as it is on disk, pages over the budget
 * or unreadable are left to the pass, and the pass takes every tree it uses.
 */
class PageTreesTest {
    static File write(File dir, String name, String text) throws Exception {
        File f = new File(dir, name);
        f.getParentFile().mkdirs();
        Files.writeString(f.toPath(), text, StandardCharsets.ISO_8859_1);
        return f;
    }

    static void awaitTree(PageTrees trees, String name) throws InterruptedException {
        long end = System.nanoTime() + TimeUnit.SECONDS.toNanos(30);
        while (!trees.holds(name)) {
            if (System.nanoTime() > end) throw new AssertionError("no tree read for " + name);
            Thread.sleep(5);
        }
    }

    @Test
    void treesGiveTheirPagesBackAndTheBudgetAndUnreadablePagesAreSkipped() throws Exception {
        File dir = Jvm.tempDir("page-trees");
        String big = "<html><body>" + "<p>text <a href=x.html>x</a>\n".repeat(200) + "</body></html>\n";
        String small = "<p><IMG SRC=a.gif> <a href='b.html'>b</a>\n";
        File bigFile = write(dir, "big.html", big);
        File smallFile = write(dir, "small.html", small);
        File missing = new File(dir, "missing.html");

        PageTrees trees = PageTrees.start(small.length());
        try {
            // one reader, in order: by the time the small page is read, the
            // ones before it have been skipped
            trees.offer(missing.getPath());
            trees.offer(bigFile.getPath());
            trees.offer(smallFile.getPath());
            awaitTree(trees, smallFile.getPath());
            assertFalse(trees.holds(bigFile.getPath()), "over the budget");
            assertFalse(trees.holds(missing.getPath()));

            x7Element tree = trees.take(smallFile.getPath());
            assertNotNull(tree);
            assertEquals(small, tree.toString());
            assertEquals(2, tree.children.size());
            assertNull(trees.take(smallFile.getPath()), "each tree is handed out once");
        } finally {
            trees.stop();
        }
        trees.offer(smallFile.getPath());
        Thread.sleep(200);
        assertFalse(trees.holds(smallFile.getPath()), "nothing is read once stopped");
    }

    /**
     * A crawl whose pages are read beside it, then one saved page changes on
     * disk before the pass: the pass rewrites the page as it is now, and uses
     * the tree of the page that did not change.
     */
    @Test
    void thePassUsesATreeOnlyForThePageAsItIsNow() throws Exception {
        File docRoot = Jvm.tempDir("page-trees-site");
        File mirror = Jvm.tempDir("page-trees-mirror");
        try (Nginx web = Nginx.start(docRoot)) {
            String base = "http://127.0.0.1:" + web.port();
            write(docRoot, "index.html", "<html><body><a href=\"" + base + "/a.html\">a</a> <a href=b.html>b</a>"
                    + "</body></html>\n");
            write(docRoot, "a.html", "<p>first <a href=\"" + base + "/index.html\">home</a>\n");
            write(docRoot, "b.html", "<p>b\n");

            UrlLoad crawler = new UrlLoad(mirror);
            PageTrees trees = PageTrees.start(1 << 20);
            try {
                crawler.addStart(web.url("/index.html"));
                crawler.crawl(n -> n.getURL().getPort() == web.port(), n -> {
                    if (n.isLoaded() && n.isHtml()) trees.offer(n.getLoadedFilename());
                });
                NodeURL index = crawler.known(web.url("/index.html"));
                NodeURL a = crawler.known(web.url("/a.html"));
                assertTrue(index.isLoaded() && a.isLoaded());
                awaitTree(trees, index.getLoadedFilename());
                awaitTree(trees, a.getLoadedFilename());

                // the saved a.html changes after its tree was read
                Files.writeString(new File(a.getLoadedFilename()).toPath(),
                        "<p>second <a href=\"" + base + "/b.html\">b</a>\n", StandardCharsets.ISO_8859_1);
            } finally {
                trees.stop();
            }
            LinkRewrite rw = new LinkRewrite(crawler, trees);
            rw.run(Set.of());

            String savedA = Files.readString(new File(crawler.known(web.url("/a.html")).getLoadedFilename()).toPath(),
                    StandardCharsets.ISO_8859_1);
            assertTrue(savedA.startsWith("<p>second <a href="), savedA);
            assertFalse(savedA.contains(base), "the link of the page as it is now is rewritten: " + savedA);
            String savedIndex = Files.readString(
                    new File(crawler.known(web.url("/index.html")).getLoadedFilename()).toPath(),
                    StandardCharsets.ISO_8859_1);
            assertFalse(savedIndex.contains(base), savedIndex);
            assertTrue(savedIndex.contains(">a</a> <a href=b.html>b</a></body></html>"), savedIndex);
            assertEquals(0, rw.pagesLeft);
            assertFalse(trees.holds(crawler.known(web.url("/index.html")).getLoadedFilename()), "the pass took it");
        }
    }
}
