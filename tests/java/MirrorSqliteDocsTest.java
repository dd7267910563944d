import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.concurrent.TimeUnit;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.stream.Collectors;
import java.util.stream.Stream;

import org.junit.jupiter.api.Test;

/**
 * Debian's SQLite documentation (about 770 pages) served by nginx and mirrored
 * by the Mirror program: a run stopped midway, the run that completes it, the
 * offline copy checked by linkchecker, an update that transfers nothing, and
 * an update after one page changed.
 */
class MirrorSqliteDocsTest {
    static final File DOCS = new File("/usr/share/doc/sqlite3");
    /**
     * The 32-bit suite mirrors the pages one link deep from the start page
     * only: the whole documentation takes it some five minutes alone and twice
     * that beside the other suites.
     */
    static final boolean SMALL = "32".equals(System.getProperty("sun.arch.data.model"));
    /** A large page, sent slowly so that the first run can be stopped in the middle of it. */
    static final String SLOW = SMALL ? "/lang.html" : "/lang_select.html";

    private static void copyTree(Path from, Path to) throws IOException {
        try (Stream<Path> s = Files.walk(from)) {
            for (Path p : s.collect(Collectors.toList())) {
                Path t = to.resolve(from.relativize(p).toString());
                if (Files.isDirectory(p)) Files.createDirectories(t);
                else Files.copy(p, t, StandardCopyOption.COPY_ATTRIBUTES);
            }
        }
    }

    private static String[] args(Nginx web, File out) {
        List<String> a = new ArrayList<>(List.of(web.url("/index.html").toString(), out.getPath()));
        if (SMALL) a.addAll(List.of("--depth", "1"));
        return a.toArray(new String[0]);
    }

    /** GET requests answered with status (a run asks HEAD of its start page first, for the server's redirects). */
    private static long count(List<Nginx.Entry> log, int status) {
        return log.stream().filter(e -> e.status == status && "GET".equals(e.method)).count();
    }

    private static final Pattern LINK_VALUE = Pattern.compile(
            "(?is)(<(?:a|img|frame)\\b[^>]*?\\s(?:href|src)\\s*=\\s*)(\"[^\"]*\"|'[^']*'|[^\\s>]+)");

    /** A page with the values of the links that rewriting may change blanked out. */
    private static String withoutLinkValues(byte[] page) {
        Matcher m = LINK_VALUE.matcher(new String(page, StandardCharsets.ISO_8859_1));
        return m.replaceAll("$1\"\"");
    }

    /**
     * The server's path of a saved file, relative: a name with '_' before two
     * upper-case hex digits ("3_3_10.html") is saved as "3_3_5F10.html".
     */
    private static String serverPath(String local) {
        String rel = local.replace(File.separatorChar, '/');
        String[] original = LocalNames.originalOf(rel.startsWith("/") ? rel : "/" + rel);
        if (original == null) return rel;
        return java.net.URLDecoder.decode(original[0].replace("+", "%2B"), StandardCharsets.UTF_8).substring(1);
    }

    @Test
    void docsAreMirroredCheckedAndUpdated() throws Exception {
        File work = Jvm.tempDir("mirror-sqlite");
        // linkchecker drops root's rights to nobody, who must read the copy
        Files.setPosixFilePermissions(work.toPath(), PosixFilePermissions.fromString("rwxr-xr-x"));
        File docRoot = new File(work, "docs");
        copyTree(DOCS.toPath(), docRoot.toPath());
        File out = new File(work, "copy");
        long t0 = System.nanoTime();

        long whole = new File(docRoot, SLOW).length();
        // sixteen seconds for the slow page
        try (Nginx web = Nginx.with(docRoot).slow(SLOW, (int) (whole / 16)).start()) {
            String siteDir = "127.0.0.1 " + web.url("/").getPort();
            File slowCopy = new File(out, siteDir + SLOW);

            // 1. A run stopped while the slow page is being transferred.
            MirrorRuns.Running running = new MirrorRuns.Running(args(web, out));
            long end = System.nanoTime() + TimeUnit.MINUTES.toNanos(5);
            while (slowCopy.length() < whole / 2 && System.nanoTime() < end && running.process.isAlive()) Thread.sleep(20);
            String stopped = running.stop();
            long partial = slowCopy.length();
            assertTrue(partial >= whole / 2 && partial < whole, "stopped midway: " + partial + " of " + whole + "\n" + stopped);
            assertTrue(new File(slowCopy.getPath() + ".INCOMPLETE").isFile(), stopped);
            assertTrue(stopped.contains("Interrupted; run the same command again to go on."), stopped);
            assertTrue(Pattern.compile("(?m)^\\d+ of \\d+ done, [\\d.]+ (B|KiB|MiB)  http://127\\.0\\.0\\.1:\\d+/\\S+$")
                    .matcher(stopped).find(), "a progress line every few seconds: " + stopped);

            // 2. The same command again completes the copy; the cut page is resumed.
            int from = web.accessLog().size();
            Jvm.Result done = MirrorRuns.mirror(args(web, out));
            assertEquals(0, done.exit, done.out);
            long firstTime = System.nanoTime();
            List<Nginx.Entry> log = web.accessLogFrom(from);
            assertTrue(log.stream().anyMatch(e -> e.status == 206 && e.path.equals(SLOW)
                    && ("bytes=" + partial + "-").equals(e.range)), "the slow page is resumed: " + log);
            assertEquals(1, MirrorRuns.count(done.out, "resumed"), done.out);
            assertEquals(0, MirrorRuns.count(done.out, "errors"), done.out);
            assertFalse(new File(slowCopy.getPath() + ".INCOMPLETE").exists());
            long saved = MirrorRuns.count(done.out, "pages saved") + MirrorRuns.count(done.out, "files saved")
                    + MirrorRuns.count(done.out, "not modified (304)");

            // Every file is the server's: pages differ in rewritten link values only.
            Map<String, File> files = MirrorRuns.files(new File(out, siteDir));
            assertEquals(saved, files.size(), "one file per URL saved");
            assertTrue(files.size() > (SMALL ? 40 : 800), "the documentation: " + files.size());
            int pages = 0;
            for (Map.Entry<String, File> f : files.entrySet()) {
                byte[] mine = Files.readAllBytes(f.getValue().toPath());
                byte[] theirs = Files.readAllBytes(new File(docRoot, serverPath(f.getKey())).toPath());
                if (Arrays.equals(mine, theirs)) continue;
                assertTrue(f.getKey().endsWith(".html"), "changed file that is no page: " + f.getKey());
                assertEquals(withoutLinkValues(theirs), withoutLinkValues(mine), f.getKey());
                pages++;
            }
            assertTrue(pages > 0, "some pages had links to rewrite");

            // linkchecker on the offline copy: a local link is broken only where
            // the server has no such file either (the search form's action).
            Linkcheck lc = Linkcheck.run(new File(out, siteDir + "/index.html"));
            List<String> broken = new ArrayList<>();
            for (String local : lc.broken) {
                String rel = local.substring(new File(out, siteDir).getPath().length());
                if (new File(docRoot, serverPath(rel)).exists()) broken.add(local);
            }
            assertEquals(List.of(), broken, lc.report);
            assertTrue(lc.checked > (SMALL ? 500 : 1500), lc.report);
            System.out.printf("sqlite docs" + (SMALL ? " (depth 1)" : "") + ": %d files (%d pages rewritten), linkchecker checked %d URLs, %d broken"
                            + " (%s), stopped and completed in %.0f s%n", files.size(), pages, lc.checked,
                    lc.broken.size(), lc.broken, (firstTime - t0) / 1e9);

            // 3. Mirroring again: every page answers 304 and nothing is transferred.
            Map<String, String> before = MirrorRuns.snapshot(out);
            from = web.accessLog().size();
            Jvm.Result again = MirrorRuns.mirror(args(web, out));
            assertEquals(0, again.exit, again.out);
            log = web.accessLogFrom(from);
            // robots.txt is read again by each run, before the pages
            log.removeIf(e -> "/robots.txt".equals(e.path));
            assertEquals(0, count(log, 200) + count(log, 206), "nothing transferred: " + log);
            assertEquals(saved, count(log, 304), again.out);
            assertEquals(0, MirrorRuns.count(again.out, "bytes transferred"), again.out);
            assertEquals(before, MirrorRuns.snapshot(out));
            // no unchanged page is read again: the links of each come from the
            // records of the runs before, also of the pages rewritten since
            // (pages and stylesheets: the references of both are recorded)
            long unchangedPages = log.stream().filter(e -> e.status == 304
                    && (e.path.endsWith(".html") || e.path.endsWith(".css"))).count();
            assertEquals(unchangedPages, MirrorRuns.keptFromLastRun(out));
            // the answers, 404s too, come over a few kept-alive connections
            long connections = log.stream().mapToLong(e -> e.connection).distinct().count();
            assertTrue(connections <= 5, connections + " connections for " + log.size() + " requests");
            System.out.printf("sqlite docs: update with nothing changed: %d requests answered 304, %d answered 404, over %d"
                            + " connections, links of %d pages from the records, %s%n", count(log, 304), count(log, 404),
                    connections, unchangedPages, again.out.replaceAll("(?s).*time:\\s*", "").trim().split("\n")[0]);

            // 4. One page changed on the server: it alone is transferred again.
            File touched = new File(docRoot, "about.html");
            assertTrue(touched.setLastModified(System.currentTimeMillis()));
            from = web.accessLog().size();
            Jvm.Result update = MirrorRuns.mirror(args(web, out));
            assertEquals(0, update.exit, update.out);
            log = web.accessLogFrom(from);
            log.removeIf(e -> "/robots.txt".equals(e.path));
            List<String> transferred = log.stream().filter(e -> "GET".equals(e.method))
                    .filter(e -> e.status == 200 || e.status == 206).map(e -> e.path).collect(Collectors.toList());
            assertEquals(List.of("/about.html"), transferred);
            assertEquals(1, MirrorRuns.count(update.out, "pages saved"), update.out);
            assertEquals(touched.lastModified() / 1000, new File(out, siteDir + "/about.html").lastModified() / 1000);
            System.out.printf("sqlite docs: update after one change %s%n",
                    update.out.replaceAll("(?s).*time:\\s*", "").trim().split("\n")[0]);
        }
    }

    /** Debian's linkchecker over the local files of a copy, intern links only. */
    static final class Linkcheck {
        int checked;
        final List<String> broken = new ArrayList<>();
        String report;

        static Linkcheck run(File start) throws IOException, InterruptedException {
            Process p = new ProcessBuilder("linkchecker", "--no-status", "--no-warnings", "-v", "-o", "csv",
                    start.getPath()).redirectError(ProcessBuilder.Redirect.DISCARD).start();
            byte[] csv = p.getInputStream().readAllBytes();
            if (!p.waitFor(10, TimeUnit.MINUTES)) throw new AssertionError("linkchecker did not finish");
            Linkcheck lc = new Linkcheck();
            lc.report = new String(csv, StandardCharsets.UTF_8);
            for (List<String> f : rows(lc.report)) {
                if (f.size() < 8 || f.get(0).startsWith("#") || f.get(0).equals("urlname")) continue;
                lc.checked++;
                if (f.get(6).equals("False")) {
                    String url = f.get(7);
                    if (!url.startsWith("file://")) throw new AssertionError("an outside link was checked: " + f);
                    lc.broken.add(java.net.URLDecoder.decode(url.substring("file://".length()), StandardCharsets.UTF_8));
                }
            }
            return lc;
        }

        /** Rows of linkchecker's CSV: fields split at ';', quoted with '"' where they hold one. */
        static List<List<String>> rows(String csv) {
            List<List<String>> rows = new ArrayList<>();
            List<String> row = new ArrayList<>();
            StringBuilder field = new StringBuilder();
            boolean quoted = false;
            for (int i = 0; i < csv.length(); i++) {
                char c = csv.charAt(i);
                if (quoted) {
                    if (c == '"' && i + 1 < csv.length() && csv.charAt(i + 1) == '"') {
                        field.append('"');
                        i++;
                    } else if (c == '"') {
                        quoted = false;
                    } else {
                        field.append(c);
                    }
                } else if (c == '"') {
                    quoted = true;
                } else if (c == ';') {
                    row.add(field.toString());
                    field.setLength(0);
                } else if (c == '\n' || c == '\r') {
                    if (c == '\r' && i + 1 < csv.length() && csv.charAt(i + 1) == '\n') i++;
                    row.add(field.toString());
                    field.setLength(0);
                    rows.add(row);
                    row = new ArrayList<>();
                } else {
                    field.append(c);
                }
            }
            if (field.length() > 0 || !row.isEmpty()) {
                row.add(field.toString());
                rows.add(row);
            }
            return rows;
        }
    }
}
