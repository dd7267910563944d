import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.List;

import org.junit.jupiter.api.Test;

/**
 * Memory that grows with the site's distinct URLs, not with its links: a site
 * of PAGES pages with LINKS links each (PAGES * LINKS links to PAGES + 1 URLs,
 * every URL linked about LINKS times) is mirrored, first run and update, in a
 * child JVM whose heap is too small to hold a crawl entry per link. A crawl
 * that keeps every link it finds runs out of memory here.
 */
class MemoryGuardTest {
    static final int PAGES = 1000;
    static final int LINKS = 100;
    /**
     * The heap of the child JVM. Measured on this site (first run and update,
     * -Xcheck:jni): a crawl list entry per link runs out of memory at 64 MB in
     * both JVMs (the 64-bit one completes at 80 MB); an entry per URL completes
     * at 24 MB in the 64-bit JVM and at 16 MB in the 32-bit one.
     */
    static final String HEAP = "-Xmx40m";

    /** index.html, then PAGES pages each linking LINKS pages picked by a fixed hash and the next page. */
    static void site(File dir) throws IOException {
        dir.mkdirs();
        Files.writeString(new File(dir, "index.html").toPath(),
                "<html><body><a href=\"p0.html\">first page</a></body></html>\n", StandardCharsets.US_ASCII);
        StringBuilder b = new StringBuilder();
        for (int i = 0; i < PAGES; i++) {
            b.setLength(0);
            b.append("<html><head><title>Page ").append(i).append("</title></head><body>\n<ul>\n");
            for (int k = 0; k < LINKS; k++) {
                long target = Math.floorMod((long) i * 7919 + (long) k * 104729 + 17, (long) PAGES);
                b.append("<li><a href=\"p").append(target).append(".html\">page ").append(target).append("</a></li>\n");
            }
            b.append("</ul>\n<p><a href=\"p").append((i + 1) % PAGES).append(".html\">next</a></p></body></html>\n");
            Files.writeString(new File(dir, "p" + i + ".html").toPath(), b, StandardCharsets.US_ASCII);
        }
    }

    @Test
    void aHundredThousandLinksToAThousandPagesFitASmallHeap() throws Exception {
        File work = Jvm.tempDir("memory-guard");
        File docRoot = new File(work, "site");
        site(docRoot);
        File out = new File(work, "copy");
        try (Nginx web = Nginx.start(docRoot)) {
            String[] args = {web.url("/index.html").toString(), out.getPath()};
            Jvm.Result first = Jvm.runWithOptions(List.of(HEAP), "Mirror", args);
            MirrorRuns.noJniWarning(first.out);
            assertFalse(first.out.contains("OutOfMemoryError"), "first run under " + HEAP + ":\n" + tail(first.out));
            assertEquals(0, first.exit, tail(first.out));
            assertEquals(PAGES + 1, MirrorRuns.count(first.out, "pages saved"), first.out);
            assertEquals(0, MirrorRuns.count(first.out, "errors"), first.out);

            // the update takes the links of the unchanged pages from the records
            Jvm.Result update = Jvm.runWithOptions(List.of(HEAP), "Mirror", args);
            MirrorRuns.noJniWarning(update.out);
            assertFalse(update.out.contains("OutOfMemoryError"), "update under " + HEAP + ":\n" + tail(update.out));
            assertEquals(0, update.exit, tail(update.out));
            assertEquals(PAGES + 1, MirrorRuns.count(update.out, "not modified (304)"), update.out);
            assertEquals(0, MirrorRuns.count(update.out, "errors"), update.out);
        }
    }

    /**
     * Two pages link x.html; the crawl list keeps the first link only, but the
     * records keep both: when the first page loses its link, the update still
     * finds x.html through the unchanged second page's record. With pages
     * scanned in line (one processor) and beside the crawl (two).
     */
    @Test
    void aLinkDroppedAsFoundAgainStaysInItsPagesRecord() throws Exception {
        for (int processors : new int[] {1, 2}) {
            File work = Jvm.tempDir("memory-guard-records");
            File docRoot = new File(work, "site");
            docRoot.mkdirs();
            write(docRoot, "index.html", "<a href=a.html>a</a> <a href=b.html>b</a>");
            File a = write(docRoot, "a.html", "<a href=x.html>x</a>");
            write(docRoot, "b.html", "<a href=x.html>x again</a>");
            write(docRoot, "x.html", "<p>x</p>");
            File out = new File(work, "copy");
            List<String> jvm = List.of("-XX:ActiveProcessorCount=" + processors);
            try (Nginx web = Nginx.start(docRoot)) {
                String[] args = {web.url("/index.html").toString(), out.getPath()};
                Jvm.Result first = Jvm.runWithOptions(jvm, "Mirror", args).ok();
                assertEquals(4, MirrorRuns.count(first.out, "pages saved"), first.out);
                // a.html changes, a second later than its copy, and the server's clock is past that
                long later = a.lastModified() + 2000;
                write(docRoot, "a.html", "<p>no link</p>");
                a.setLastModified(later);
                Thread.sleep(Math.max(0, later + 1000 - System.currentTimeMillis()));
                int from = web.accessLog().size();
                Jvm.Result update = Jvm.runWithOptions(jvm, "Mirror", args).ok();
                // a.html is fetched and scanned again; index.html and b.html come from the records
                assertEquals(1, MirrorRuns.count(update.out, "pages saved"), processors + " processors: " + update.out);
                List<Nginx.Entry> log = web.awaitAccessLog(from + 4);
                boolean asked = log.subList(from, log.size()).stream().anyMatch(e -> e.path.equals("/x.html"));
                assertTrue(asked, processors + " processors: x.html is still linked from b.html: "
                        + log.subList(from, log.size()));
            }
        }
    }

    /**
     * A page too big for the heap ends the run with code 2 and a message that
     * says how to give it more; the next run, with more, goes on from there.
     */
    @Test
    void aSiteThatNeedsMoreHeapSaysSoAndTheNextRunGoesOn() throws Exception {
        File work = Jvm.tempDir("memory-guard-heap");
        File docRoot = new File(work, "site");
        docRoot.mkdirs();
        write(docRoot, "index.html", "<a href=big.html>big</a>");
        write(docRoot, "big.html", "<a href=x.html>x</a>" + "w".repeat(24 << 20));
        write(docRoot, "x.html", "<p>x</p>");
        File out = new File(work, "copy");
        try (Nginx web = Nginx.start(docRoot)) {
            String[] args = {web.url("/index.html").toString(), out.getPath()};
            Jvm.Result small = Jvm.runWithOptions(List.of("-Xmx32m"), "Mirror", args);
            MirrorRuns.noJniWarning(small.out);
            assertEquals(2, small.exit, tail(small.out));
            assertTrue(small.out.contains("mirror: this site needs more memory than the Java heap of"), tail(small.out));
            assertTrue(small.out.contains("MIRROR_HEAP="), tail(small.out));
            Jvm.Result more = Jvm.runWithOptions(List.of("-Xmx256m"), "Mirror", args).ok();
            assertTrue(new File(out, "127.0.0.1 " + web.port() + "/x.html").isFile(), more.out);
        }
    }

    private static File write(File dir, String name, String text) throws IOException {
        File f = new File(dir, name);
        Files.writeString(f.toPath(), "<html><body>" + text + "</body></html>\n", StandardCharsets.US_ASCII);
        return f;
    }

    private static String tail(String s) {
        return s.substring(Math.max(0, s.length() - 3000));
    }
}
