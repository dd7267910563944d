import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.File;
import java.io.IOException;
import java.net.URI;
import java.net.URL;
import java.net.URLDecoder;
import java.nio.charset.StandardCharsets;
import java.nio.file.FileVisitOption;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.HashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.TreeMap;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.stream.Collectors;
import java.util.stream.Stream;

import org.junit.jupiter.api.AfterAll;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/**
 * Two documentation packages of Debian served by nginx as installed (symbolic
 * links followed), mirrored whole, and a spread of their pages opened from the
 * copy in headless Chromium with the network blocked: every page loads all it
 * asks for from the copy and none reaches for the network.
 */
class DebianDocsTest {
    /** Pages opened per package, the start page among them. */
    static final int SPREAD = 40;

    private static Browser browser;

    @BeforeAll
    static void startBrowser() throws IOException, InterruptedException {
        browser = Browser.start();
    }

    @AfterAll
    static void stopBrowser() throws InterruptedException {
        if (browser != null) browser.close();
    }

    /** Sphinx's own documentation: scripts on every page, several of them symbolic links into /usr/share/javascript. */
    @Test
    void sphinxDocsShowWholeOffline() throws Exception {
        checkPackage("sphinx-doc", new File("/usr/share/doc/sphinx-doc/html"));
    }

    /** Javadoc of Commons Lang 3: scripts, jQuery, and fonts and images named inside stylesheets. */
    @Test
    void commonsLangJavadocShowsWholeOffline() throws Exception {
        checkPackage("libcommons-lang3-java-doc", new File("/usr/share/doc/libcommons-lang3-java/api"));
    }

    private static void checkPackage(String pkg, File docRoot) throws Exception {
        assertTrue(new File(docRoot, "index.html").isFile(), pkg + " is installed (scripts/bootstrap.sh test)");
        File out = Jvm.tempDir("docs-" + pkg);
        try (Nginx web = Nginx.with(docRoot).raw(BrowserOfflineTest.SERVE_ALL_TYPES).start()) {
            URL start = web.url("/index.html");
            long t0 = System.nanoTime();
            Jvm.Result run = MirrorRuns.mirror(start.toString(), out.getPath());
            double mirrorSeconds = (System.nanoTime() - t0) / 1e9;

            List<String> pages = spread(docRoot);
            List<String> failed = new ArrayList<>();
            List<String> attempts = new ArrayList<>();
            Map<String, Integer> kinds = new TreeMap<>();
            Map<String, Integer> scriptErrors = new TreeMap<>();
            // Loads of files the server does not have either: broken in the
            // package itself, shown but not held against the copy.
            List<String> brokenAtSource = new ArrayList<>();
            File site = LocalNames.localFile(out, start).getParentFile();
            int pagesWithFailures = 0;
            long t1 = System.nanoTime();
            for (String path : pages) {
                File copy = LocalNames.localFile(out, web.url(path));
                Browser.Visit v = browser.openOffline(copy, false);
                boolean pageFailed = false;
                for (String f : v.failedLocalLoads) {
                    if (!serverHas(docRoot, site, web.port(), f.substring(0, f.lastIndexOf(" (")))) {
                        brokenAtSource.add(path + ": " + f);
                        continue;
                    }
                    pageFailed = true;
                    failed.add(path + ": " + f);
                    kinds.merge(kind(f), 1, Integer::sum);
                }
                if (pageFailed) pagesWithFailures++;
                for (String a : v.networkAttempts) {
                    if (serverHas(docRoot, site, web.port(), a)) attempts.add(path + ": " + a);
                    else brokenAtSource.add(path + ": " + a);
                }
                for (String e : v.scriptErrors) scriptErrors.merge(e.replaceAll(" at .*", ""), 1, Integer::sum);
            }
            double browseSeconds = (System.nanoTime() - t1) / 1e9;

            System.out.printf("%s: mirror exit %d in %.1f s (%s); %d pages opened offline in %.1f s: %d failed local"
                            + " loads on %d pages %s, %d network attempts; %d loads of files the server lacks too%n", pkg,
                    run.exit, mirrorSeconds, summaryLine(run.out), pages.size(), browseSeconds, failed.size(),
                    pagesWithFailures, kinds, attempts.size(), brokenAtSource.size());
            distinct(pkg + " failed", failed);
            distinct(pkg + " network", attempts);
            distinct(pkg + " missing on the server too", brokenAtSource);
            for (Map.Entry<String, Integer> e : scriptErrors.entrySet()) {
                System.out.println("  " + pkg + " script error on " + e.getValue() + " pages: " + e.getKey());
            }

            assertTrue(pages.size() >= SPREAD, pkg + ": " + pages.size() + " pages");
            assertEquals(0, failed.size(), pkg + ": failed local loads (listed above), the first: " + first(failed));
            assertEquals(0, attempts.size(), pkg + ": network attempts (listed above), the first: " + first(attempts));
            assertEquals(0, run.exit, run.out);
        }
    }

    private static final Pattern HREF = Pattern.compile("(?i)href\\s*=\\s*[\"']?([^\"'#?\\s>]+)");

    /**
     * The start page and pages spread evenly over the sorted list of the
     * server's pages that another page links to (a page that nothing links to
     * cannot be mirrored by following links).
     */
    private static List<String> spread(File docRoot) throws IOException {
        List<Path> files;
        try (Stream<Path> s = Files.walk(docRoot.toPath(), FileVisitOption.FOLLOW_LINKS)) {
            files = s.filter(p -> p.toString().endsWith(".html") && Files.isRegularFile(p)).collect(Collectors.toList());
        }
        Set<String> linkedNames = new HashSet<>();
        for (Path p : files) {
            Matcher m = HREF.matcher(new String(Files.readAllBytes(p), StandardCharsets.ISO_8859_1));
            String self = p.getFileName().toString();
            while (m.find()) {
                String name = m.group(1).substring(m.group(1).lastIndexOf('/') + 1);
                if (!name.equals(self)) linkedNames.add(name);
            }
        }
        List<String> all = files.stream().filter(p -> linkedNames.contains(p.getFileName().toString()))
                .map(p -> "/" + docRoot.toPath().relativize(p).toString().replace(File.separatorChar, '/'))
                .sorted().collect(Collectors.toList());
        List<String> picked = new ArrayList<>(List.of("/index.html"));
        for (int i = 0; i < SPREAD && picked.size() < Math.min(SPREAD, all.size()); i++) {
            String p = all.get((int) ((long) i * all.size() / SPREAD));
            if (!picked.contains(p)) picked.add(p);
        }
        return picked;
    }

    /**
     * Whether the server has the file that a failed load of the copy (a file:
     * URL below the site's folder) or a network attempt (a URL of the server)
     * asked for. Anything else is held against the copy.
     */
    private static boolean serverHas(File docRoot, File site, int port, String url) {
        URI u = URI.create(url.replace(" ", "%20"));
        String path;
        if ("file".equals(u.getScheme())) {
            String local = Path.of(URI.create("file://" + u.getRawPath())).toString();
            String prefix = site.getAbsolutePath() + File.separator;
            if (!local.startsWith(prefix)) return true;
            String rel = "/" + local.substring(prefix.length()).replace(File.separatorChar, '/');
            String[] original = LocalNames.originalOf(rel);
            path = original == null ? rel : URLDecoder.decode(original[0].replace("+", "%2B"), StandardCharsets.UTF_8);
        } else if ("127.0.0.1".equals(u.getHost()) && u.getPort() == port) {
            path = u.getPath();
        } else {
            return true;
        }
        return new File(docRoot, path).exists();
    }

    /** What a failed load was, by the extension of its file: js, css, png, woff, html... */
    private static String kind(String failure) {
        String url = failure.replaceAll(" \\(.*", "").replaceAll("[?#].*", "");
        String name = url.substring(url.lastIndexOf('/') + 1);
        int dot = name.lastIndexOf('.');
        return dot < 0 ? "(none)" : name.substring(dot + 1);
    }

    /** The distinct targets of "page: target" lines, with how many pages each, at most 15 of them. */
    private static void distinct(String label, List<String> lines) {
        Map<String, Integer> n = new TreeMap<>();
        for (String l : lines) n.merge(l.substring(l.indexOf(": ") + 2).replaceAll("^file://.*/docs-[^/]*/[^/]*/", ""), 1,
                Integer::sum);
        int shown = 0;
        for (Map.Entry<String, Integer> e : n.entrySet()) {
            if (shown++ == 15) {
                System.out.println("  " + label + ": ... " + (n.size() - 15) + " more");
                break;
            }
            System.out.println("  " + label + " on " + e.getValue() + " pages: " + e.getKey());
        }
    }

    private static String first(List<String> lines) {
        return lines.isEmpty() ? "none" : lines.get(0);
    }

    /** The summary's counts, on one line. */
    private static String summaryLine(String out) {
        StringBuilder b = new StringBuilder();
        for (String label : new String[] {"pages saved", "files saved", "errors"}) {
            try {
                b.append(b.length() == 0 ? "" : ", ").append(label).append(' ').append(MirrorRuns.count(out, label));
            } catch (AssertionError e) {
                // not in this summary
            }
        }
        return b.toString();
    }
}
