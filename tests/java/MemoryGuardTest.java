import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;

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

    private static String tail(String s) {
        return s.substring(Math.max(0, s.length() - 3000));
    }
}
