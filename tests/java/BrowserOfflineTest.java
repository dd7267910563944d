import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.File;
import java.io.IOException;
import java.net.URL;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Set;
import java.util.stream.Collectors;
import java.util.stream.Stream;

import org.junit.jupiter.api.Test;

/**
 * A site with one of each kind of reference a browser follows (tests/fixtures/refs-site)
 * served by nginx, mirrored, and its copy opened from disk in headless Chromium
 * with the network blocked: the start page and every page its links lead to
 * load all they ask for from the copy, none of them reaches for the network,
 * and the start page looks as it does served live.
 */
class BrowserOfflineTest {
    static final File FIXTURE = new File(System.getProperty("x7.source", "."), "tests/fixtures/refs-site");
    /**
     * Share of pixels that may differ between the live page and its copy: less
     * than one missing 24x24 image (0.072% of the viewport). Two live visits
     * differ in none.
     */
    static final double TOLERANCE = 0.0005;

    /** Every MIME type Debian's nginx knows (scripts, fonts, media), symbolic links followed. */
    static final String SERVE_ALL_TYPES = "        include /etc/nginx/mime.types;\n        disable_symlinks off;";

    /** Copies the fixture, its pages and stylesheets with @ORIGIN@ made the server's origin. */
    private static void serveFixture(File docRoot, String origin) throws IOException {
        try (Stream<Path> s = Files.walk(FIXTURE.toPath())) {
            for (Path p : s.collect(Collectors.toList())) {
                Path t = docRoot.toPath().resolve(FIXTURE.toPath().relativize(p).toString());
                if (Files.isDirectory(p)) {
                    Files.createDirectories(t);
                } else if (p.toString().endsWith(".html") || p.toString().endsWith(".css")) {
                    Files.writeString(t, Files.readString(p, StandardCharsets.UTF_8).replace("@ORIGIN@", origin),
                            StandardCharsets.UTF_8);
                } else {
                    Files.copy(p, t);
                }
            }
        }
    }

    @Test
    void everyReferenceKindShowsWholeOffline() throws Exception {
        File work = Jvm.tempDir("offline-copy");
        File docRoot = new File(work, "site");
        File out = new File(work, "copy");
        try (Nginx web = Nginx.with(docRoot).raw(SERVE_ALL_TYPES).start(); Browser browser = Browser.start()) {
            serveFixture(docRoot, "http://127.0.0.1:" + web.port());
            URL start = web.url("/index.html");

            // The reference: the site served live loads everything and runs its scripts.
            Browser.Visit live = browser.openLive(start, true);
            assertEquals(List.of(), live.failedServerLoads, "the fixture served live: " + live);
            assertTrue(live.scriptErrors.isEmpty(), live.toString());

            long t0 = System.nanoTime();
            Jvm.Result run = MirrorRuns.mirror(start.toString(), out.getPath());
            double mirrorSeconds = (System.nanoTime() - t0) / 1e9;
            File startCopy = LocalNames.localFile(out, start);

            // The start page offline, then every page its links lead to, as a reader would click them.
            int served = web.accessLog().size();
            Browser.Visit offline = browser.openOffline(startCopy, true);
            List<Browser.Visit> visits = new ArrayList<>(List.of(offline));
            Set<String> linked = new LinkedHashSet<>();
            for (String link : offline.links) linked.add(link.replaceAll("#.*", ""));
            linked.remove(offline.url);
            for (String link : linked) {
                if (link.startsWith("file:")) visits.add(browser.openOffline(new File(java.net.URI.create(link)), false));
                else visits.add(linkOut(link));
            }
            // The block held: the server, still up, saw none of the attempts.
            assertEquals(List.of(), web.accessLogFrom(served), "requests that passed the block");
            Browser.save(live.screenshot, new File(work, "live.png"));
            Browser.save(offline.screenshot, new File(work, "offline.png"));
            double difference = Browser.pixelDifference(live.screenshot, offline.screenshot);

            List<String> failed = new ArrayList<>();
            List<String> attempts = new ArrayList<>();
            for (Browser.Visit v : visits) {
                for (String f : v.failedLocalLoads) failed.add(relative(out, v.url) + ": " + relative(out, f));
                for (String a : v.networkAttempts) attempts.add(relative(out, v.url) + ": " + a);
            }
            long liveLoads = live.requested.stream().filter(u -> u.startsWith("http")).count();
            System.out.printf("refs-site: mirror exit %d in %.1f s; start page offline: %d of %d loads failed,"
                            + " %d network attempts; %d linked pages opened; in all %d failed local loads, %d network"
                            + " attempts; screenshots differ in %.2f%% of pixels (%s)%n",
                    run.exit, mirrorSeconds, offline.failedLocalLoads.size(), liveLoads, offline.networkAttempts.size(),
                    visits.size() - 1, failed.size(), attempts.size(), difference * 100, work);
            for (String f : failed) System.out.println("  failed: " + f);
            for (String a : attempts) System.out.println("  network: " + a);
            for (String e : offline.scriptErrors) System.out.println("  script error offline: " + e);

            assertEquals(List.of(), failed, "failed local loads");
            assertEquals(List.of(), attempts, "network attempts");
            assertTrue(offline.loaded, offline.toString());
            assertTrue(difference < TOLERANCE, "the copy looks like the live page: " + difference * 100
                    + "% of pixels differ; see " + work);
            assertEquals(0, run.exit, run.out);
        }
    }

    /** A link the copy left pointing at the web: following it offline is a network attempt. */
    private static Browser.Visit linkOut(String link) {
        Browser.Visit v = new Browser.Visit(link);
        v.networkAttempts.add(link);
        return v;
    }

    /** A file: URL below the copy as its path there; anything else as it is. */
    private static String relative(File out, String url) {
        String prefix = out.getAbsoluteFile().toPath().toUri().toString();
        return url.startsWith(prefix) ? url.substring(prefix.length()) : url;
    }
}
