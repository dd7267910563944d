import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.stream.Collectors;
import java.util.stream.Stream;

import org.junit.jupiter.api.Test;

/** The Mirror program as a user runs it, in a child JVM against the bundled sample site. */
class MirrorTest {
    static final String SITE = System.getProperty("x7.source", ".") + "/host/mirror/resources/sample-site";

    private static byte[] bundled(String path) throws IOException {
        try (InputStream in = Mirror.class.getResourceAsStream("/sample-site/" + path)) {
            return in.readAllBytes();
        }
    }

    @Test
    void embeddedSiteIsMirroredThenUpdatedWithoutTransfers() throws Exception {
        File out = new File(Jvm.tempDir("mirror-default"), "copy");
        String port = String.valueOf(MirrorRuns.freePortPair());
        String site = "127.0.0.1 " + port;

        Jvm.Result first = MirrorRuns.mirror("-", out.getPath(), "--port", port);
        assertEquals(0, first.exit, first.out);
        assertEquals(15, MirrorRuns.count(first.out, "pages saved"), first.out);
        assertEquals(5, MirrorRuns.count(first.out, "files saved"), first.out);
        assertEquals(0, MirrorRuns.count(first.out, "errors"), first.out);
        assertEquals(0, MirrorRuns.count(first.out, "not found"), first.out);
        assertTrue(MirrorRuns.count(first.out, "links rewritten") >= 20, first.out);
        assertTrue(first.out.contains("Open the offline copy: file://" + new File(out, site).getCanonicalFile().toURI()
                .getRawPath() + "x7fenwix.htm"), first.out);

        // the copy stands alone: every local link names a saved file, and no
        // link leads back to the two site parts that were mirrored
        assertEquals(List.of(), MirrorRuns.brokenLocalLinks(out));
        for (File page : MirrorRuns.pages(out)) {
            for (String link : MirrorRuns.links(page)) {
                assertFalse(link.startsWith("http://127.0.0.1:"), page + " still links to the server: " + link);
            }
        }
        assertArrayEquals(bundled("main/files/data.bin"), Files.readAllBytes(new File(out, site + "/files/data.bin").toPath()));
        assertArrayEquals(bundled("main/images/photo.png"), Files.readAllBytes(new File(out, site + "/images/photo.png").toPath()));
        assertTrue(new File(out, site + "/news.html^page=2.html").isFile(), "a query is saved behind a caret, the extension after it");
        assertTrue(new File(out, site + "/docs/x7fenwix.htm").isFile(), "a directory URL gets the default page");
        String index = Files.readString(new File(out, site + "/x7fenwix.htm").toPath());
        assertTrue(index.contains("<a href='docs/guide/setup.html#step2'>"), "the fragment stays: " + index);
        assertTrue(index.contains("<A HREF=\"docs/x7fenwix.htm\">"), index);
        assertTrue(index.contains("<link rel=\"stylesheet\" href=\"style.css\">"), "link hrefs are never rewritten");
        assertTrue(index.contains("<a href=\"https://www.example.org/\">"), "outside sites keep their address");
        assertTrue(new File(out, OutFiles.LOG_NAME).isFile());

        Map<String, String> before = MirrorRuns.snapshot(out);
        Jvm.Result second = MirrorRuns.mirror("-", out.getPath(), "--port", port);
        assertEquals(0, second.exit, second.out);
        // "/" and "/index.html" (and "/docs/" and "/docs/index.html") are one saved page, asked for once
        assertEquals(18, MirrorRuns.count(second.out, "not modified (304)"), second.out);
        assertEquals(0, MirrorRuns.count(second.out, "pages saved"), second.out);
        assertEquals(0, MirrorRuns.count(second.out, "files saved"), second.out);
        assertEquals(0, MirrorRuns.count(second.out, "bytes transferred"), second.out);
        assertEquals(0, MirrorRuns.count(second.out, "links rewritten"), second.out);
        assertEquals(before, MirrorRuns.snapshot(out), "the update changed no byte and no time");
    }

    /** The sample site served by this JVM from a copy of its files, so that it can be changed and watched. */
    private static SampleSite serveCopy(File dir) throws IOException {
        copyTree(new File(SITE).toPath(), dir.toPath());
        return SampleSite.start(SampleSite.directory(dir.toPath().resolve("main")),
                SampleSite.directory(dir.toPath().resolve("second")), 0);
    }

    private static void copyTree(Path from, Path to) throws IOException {
        try (Stream<Path> s = Files.walk(from)) {
            for (Path p : s.collect(Collectors.toList())) {
                Path t = to.resolve(from.relativize(p).toString());
                if (Files.isDirectory(p)) Files.createDirectories(t);
                else Files.copy(p, t, java.nio.file.StandardCopyOption.COPY_ATTRIBUTES);
            }
        }
    }

    /** The GET requests answered with status. */
    private static List<String> statuses(List<String> requests, String status) {
        List<String> out = new ArrayList<>();
        for (String r : gets(requests)) {
            if (r.split(" ")[2].equals(status)) out.add(r);
        }
        return out;
    }

    /** The GET requests: a run asks HEAD of its start page first, to follow the server's redirects. */
    /** The GET requests of the site's files; robots.txt, read before each site part, left out. */
    private static List<String> gets(List<String> requests) {
        synchronized (requests) {
            return requests.stream().filter(r -> r.startsWith("GET ") && !r.startsWith("GET /robots.txt "))
                    .collect(Collectors.toList());
        }
    }

    @Test
    void updateAsksForTheOriginalUrlsAndFetchesOnlyWhatChanged() throws Exception {
        File work = Jvm.tempDir("mirror-update");
        File out = new File(work, "copy");
        try (SampleSite site = serveCopy(new File(work, "site"))) {
            String url = site.mainUrl();
            String allow = "127.0.0.1:" + site.secondPort();
            Jvm.Result first = MirrorRuns.mirror(url, out.getPath(), "--allow", allow);
            assertEquals(0, first.exit, first.out);
            assertEquals(20, statuses(site.requests, "200").size(), site.requests.toString());
            // every saved file, rewritten pages too, carries the server's time,
            // which the next run's conditional requests send back
            String mainDir = "127.0.0.1 " + url.replaceAll(".*:(\\d+)/", "$1");
            for (Map.Entry<String, File> f : MirrorRuns.files(new File(out, mainDir)).entrySet()) {
                String served = f.getKey().replaceAll("x7fenwix\\.htm", "index.html").replaceAll("\\^.*", "");
                assertEquals(new File(work, "site/main/" + served).lastModified() / 1000, f.getValue().lastModified() / 1000,
                        f.getKey());
            }

            site.requests.clear();
            Jvm.Result second = MirrorRuns.mirror(url, out.getPath(), "--allow", allow);
            assertEquals(0, second.exit, second.out);
            List<String> asked = gets(site.requests);
            assertEquals(asked, statuses(asked, "304"), "every request of the update is answered 304");
            // the index pages share the folders' saved copies: their links name those
            assertEquals(18, asked.size(), asked.toString());
            assertFalse(asked.contains("GET /index.html 304"), asked.toString());
            // links read back from the rewritten pages name the server's URLs again
            for (String r : asked) {
                assertFalse(r.contains("^") || r.contains("x7fenwix.htm") || r.contains("%20"), r);
            }
            assertTrue(asked.contains("GET /news.html?page=2 304"), asked.toString());
            assertTrue(asked.contains("GET /docs/ 304"), asked.toString());
            // the unchanged pages' links came from the first run's records,
            // and ask for just what scanning the pages asks for
            File records = new File(out, OutFiles.RECORDS_NAME);
            // 13 pages (the two index pages are their folders' pages, saved
            // once) and the stylesheet, whose references are recorded too
            assertEquals(14, MirrorRuns.keptFromLastRun(out), second.out);
            assertTrue(records.delete());
            site.requests.clear();
            Jvm.Result scanned = MirrorRuns.mirror(url, out.getPath(), "--allow", allow);
            assertEquals(0, scanned.exit, scanned.out);
            assertEquals(0, MirrorRuns.keptFromLastRun(out), scanned.out);
            // requests overlap on several connections: the same ones, in any order
            assertEquals(asked.stream().sorted().collect(Collectors.toList()),
                    gets(site.requests).stream().sorted().collect(Collectors.toList()));
            assertTrue(records.isFile(), "the scans are recorded again");
            // a saved page changed on disk (its time kept, so the server
            // answers 304) is scanned for what it says now
            File index = new File(out, "127.0.0.1 " + url.replaceAll(".*:(\\d+)/", "$1") + "/x7fenwix.htm");
            long time = index.lastModified();
            byte[] asSaved = Files.readAllBytes(index.toPath());
            Files.writeString(index.toPath(), Files.readString(index.toPath()).replace("href=\"about.html\"", "href=\"gone.html\""));
            index.setLastModified(time);
            site.requests.clear();
            Jvm.Result edited = MirrorRuns.mirror(url, out.getPath(), "--allow", allow);
            // 13 pages and the stylesheet, less the edited page
            assertEquals(13, MirrorRuns.keptFromLastRun(out), edited.out);
            assertTrue(gets(site.requests).contains("GET /gone.html 404"), site.requests.toString());
            Files.write(index.toPath(), asSaved);
            index.setLastModified(time);

            // a page changed on the server is the one transferred again
            File changed = new File(work, "site/main/docs/guide/setup.html");
            Files.writeString(changed.toPath(), Files.readString(changed.toPath()).replace("Step 2", "Step two"));
            changed.setLastModified(System.currentTimeMillis() + 5_000);
            site.requests.clear();
            Jvm.Result third = MirrorRuns.mirror(url, out.getPath(), "--allow", allow);
            assertEquals(0, third.exit, third.out);
            assertEquals(List.of("GET /docs/guide/setup.html 200"), statuses(site.requests, "200"));
            assertEquals(1, MirrorRuns.count(third.out, "pages saved"), third.out);
            String saved = Files.readString(new File(out, "127.0.0.1 " + site.mainUrl().replaceAll(".*:(\\d+)/", "$1")
                    + "/docs/guide/setup.html").toPath());
            assertTrue(saved.contains("Step two") && saved.contains("href=\"../../about.html\""), saved);
            assertEquals(List.of(), MirrorRuns.brokenLocalLinks(out));
        }
    }

    @Test
    void aStoppedRunIsResumedWhereItStopped() throws Exception {
        File work = Jvm.tempDir("mirror-resume");
        File out = new File(work, "copy");
        try (SampleSite site = serveCopy(new File(work, "site"))) {
            site.slow("files/", 16 * 1024);  // data.bin takes six seconds
            String url = site.mainUrl();
            String allow = "127.0.0.1:" + site.secondPort();
            File data = new File(out, "127.0.0.1 " + url.replaceAll(".*:(\\d+)/", "$1") + "/files/data.bin");

            MirrorRuns.Running run = new MirrorRuns.Running(url, out.getPath(), "--allow", allow);
            long end = System.nanoTime() + 60_000_000_000L;
            while (data.length() < 20_000 && System.nanoTime() < end) Thread.sleep(50);
            String stopped = run.stop();
            assertTrue(data.length() >= 20_000 && data.length() < 98_304, "stopped midway: " + data.length() + "\n" + stopped);
            assertTrue(new File(data.getPath() + ".INCOMPLETE").isFile(), stopped);
            assertTrue(stopped.contains("Interrupted; run the same command again to go on."), stopped);
            long partial = data.length();

            site.slow(null, 0);
            site.requests.clear();
            Jvm.Result again = MirrorRuns.mirror(url, out.getPath(), "--allow", allow);
            assertEquals(0, again.exit, again.out);
            assertEquals(1, MirrorRuns.count(again.out, "resumed"), again.out);
            assertTrue(site.requests.contains("GET /files/data.bin 206 Range=bytes=" + partial + "-"),
                    site.requests.toString());
            assertArrayEquals(Files.readAllBytes(new File(work, "site/main/files/data.bin").toPath()),
                    Files.readAllBytes(data.toPath()));
            assertFalse(new File(data.getPath() + ".INCOMPLETE").exists());
            assertEquals(List.of(), MirrorRuns.brokenLocalLinks(out));
        }
    }

    @Test
    void aRunKilledOutrightLeavesNoHalfFileTakenForWhole() throws Exception {
        File work = Jvm.tempDir("mirror-kill");
        File out = new File(work, "copy");
        try (SampleSite site = serveCopy(new File(work, "site"))) {
            site.slow("files/", 16 * 1024);
            String url = site.mainUrl();
            String allow = "127.0.0.1:" + site.secondPort();
            File data = new File(out, "127.0.0.1 " + url.replaceAll(".*:(\\d+)/", "$1") + "/files/data.bin");

            MirrorRuns.Running run = new MirrorRuns.Running(url, out.getPath(), "--allow", allow);
            long end = System.nanoTime() + 60_000_000_000L;
            while (data.length() < 20_000 && System.nanoTime() < end) Thread.sleep(50);
            run.process.toHandle().destroyForcibly();  // SIGKILL: no marker, the file's time is the kill's
            assertTrue(run.process.waitFor(30, java.util.concurrent.TimeUnit.SECONDS));
            assertTrue(data.length() < 98_304 && !new File(data.getPath() + ".INCOMPLETE").exists());

            site.slow(null, 0);
            Jvm.Result again = MirrorRuns.mirror(url, out.getPath(), "--allow", allow);
            assertEquals(0, again.exit, again.out);
            assertArrayEquals(Files.readAllBytes(new File(work, "site/main/files/data.bin").toPath()),
                    Files.readAllBytes(data.toPath()));
            assertTrue(Files.readString(new File(out, OutFiles.LOG_NAME).toPath())
                    .contains("Marked incomplete after an interrupted run:" + data.getCanonicalPath() + "\n"));
            assertEquals(List.of(), MirrorRuns.brokenLocalLinks(out));
        }
    }

    @Test
    void depthZeroKeepsTheStartPageWithWhatItShowsAndLinksTheRestByAddress() throws Exception {
        File work = Jvm.tempDir("mirror-depth");
        File out = new File(work, "copy");
        try (SampleSite site = serveCopy(new File(work, "site"))) {
            Jvm.Result r = MirrorRuns.mirror(site.mainUrl(), out.getPath(), "--depth", "0");
            assertEquals(0, r.exit, r.out);
            assertEquals(1, MirrorRuns.count(r.out, "pages saved"), r.out);
            assertEquals(3, MirrorRuns.count(r.out, "files saved"), "two images and the style sheet: " + r.out);
            File index = new File(out, "127.0.0.1 " + site.mainUrl().replaceAll(".*:(\\d+)/", "$1") + "/x7fenwix.htm");
            String page = Files.readString(index.toPath());
            assertTrue(page.contains("<a href=\"" + site.mainUrl() + "about.html\">"), page);
            assertTrue(page.contains("<img src=images/photo.png alt="), page);
            assertTrue(page.contains("<a href=\"" + site.secondUrl() + "\">"), "the second part is not allowed: " + page);
            assertEquals(List.of(), MirrorRuns.brokenLocalLinks(out));
        }
    }

    @Test
    void linksBelowThousandsOfUnclosedAnchorsAreStillFollowed() throws Exception {
        // Sloppy pages leave named anchors open; each one nests the rest of the
        // page a level deeper, far past what a default thread stack reads.
        File work = Jvm.tempDir("mirror-nested");
        File www = new File(work, "www");
        www.mkdirs();
        StringBuilder page = new StringBuilder("<html><body>");
        for (int i = 0; i < 5000; i++) page.append("<a name=n").append(i).append(">x ");
        page.append("<a href=\"deep.htm\">deep</a><img src=\"pic.gif\"></body></html>");
        Files.writeString(www.toPath().resolve("index.html"), page);
        Files.writeString(www.toPath().resolve("deep.htm"), "<html>deep</html>");
        Files.write(www.toPath().resolve("pic.gif"), new byte[] {'G', 'I', 'F', '8', '9', 'a'});
        File out = new File(work, "copy");
        try (Nginx nginx = Nginx.start(www)) {
            Jvm.Result r = MirrorRuns.mirror(nginx.url("/index.html").toString(), out.getPath());
            assertEquals(0, r.exit, r.out);
            File site = new File(out, "127.0.0.1 " + nginx.port());
            assertTrue(new File(site, "deep.htm").isFile(), r.out);
            assertTrue(new File(site, "pic.gif").isFile(), r.out);
            assertEquals(List.of(), MirrorRuns.brokenLocalLinks(out));
        }
    }

    @Test
    void aStartUrlThatTheServerRedirectsIsMirroredWhereItLeads() throws Exception {
        File work = Jvm.tempDir("mirror-moved");
        File docs = new File(work, "www/docs");
        docs.mkdirs();
        Files.writeString(new File(docs, "index.html").toPath(), "<html><a href=\"a.html\">a</a></html>");
        Files.writeString(new File(docs, "a.html").toPath(), "<html><a href=\"./\">back</a></html>");
        File out = new File(work, "copy");
        try (Nginx web = Nginx.start(new File(work, "www"))) {
            Jvm.Result r = MirrorRuns.mirror(web.url("/docs").toString(), out.getPath());
            assertEquals(0, r.exit, r.out);
            assertTrue(r.out.contains("The start page has moved to " + web.url("/docs/")), r.out);
            assertEquals(2, MirrorRuns.count(r.out, "pages saved"), r.out);
            String dir = "127.0.0.1 " + web.url("/").getPort() + "/docs/";
            assertEquals("<html><a href=\"x7fenwix.htm\">back</a></html>",
                    Files.readString(new File(out, dir + "a.html").toPath()));
            assertEquals(List.of(), MirrorRuns.brokenLocalLinks(out));
        }
    }

    @Test
    void badInputGetsAClearMessageAndANonZeroExit() throws Exception {
        File work = Jvm.tempDir("mirror-bad");
        File aFile = new File(work, "a-file");
        Files.writeString(aFile.toPath(), "x");
        String[][] cases = {
                {"not a URL: 'example.org/docs' (did you mean http://example.org/docs ?)", "example.org/docs"},
                {"not a URL: 'http//x'", "http//x"},
                {"only http:// and https:// URLs can be mirrored, not 'ftp://example.org/'", "ftp://example.org/"},
                {"the URL names no host: 'http:///a.htm'", "http:///a.htm"},
                {"cannot reach 127.0.0.1:1 (", "http://127.0.0.1:1/", new File(work, "o1").getPath()},
                {"unknown host no-such-host.invalid", "http://no-such-host.invalid/", new File(work, "o2").getPath()},
                {"OUT is not a folder: " + aFile, "-", aFile.getPath()},
                {"cannot make the folder " + new File(aFile, "sub"), "-", new File(aFile, "sub").getPath()},
                {"--depth wants a number of 0 or more, not 'deep'", "--depth", "deep"},
                {"--depth wants a value", "--depth"},
                {"unknown option --fast", "--fast"},
                {"--allow wants HOST or HOST:PORT, not ':80'", "--allow", ":80"},
                {"--port is for the sample site, which runs only without URL", "http://127.0.0.1:1/", "--port", "9000"},
                {"too many arguments: c", "http://a.test/", "b", "c"},
        };
        for (String[] c : cases) {
            String[] args = java.util.Arrays.copyOfRange(c, 1, c.length);
            Jvm.Result r = MirrorRuns.mirror(args);
            assertEquals(1, r.exit, String.join(" ", args) + "\n" + r.out);
            assertTrue(r.out.startsWith("mirror: " + c[0]), "for " + String.join(" ", args) + ":\n" + r.out);
            assertFalse(r.out.contains("Exception") || r.out.contains("\tat "), r.out);
        }
        assertFalse(new File(work, "o1").exists(), "no folder is made for a site that cannot be reached");

        Jvm.Result help = MirrorRuns.mirror("--help");
        assertEquals(0, help.exit);
        assertTrue(help.out.startsWith("Usage: Mirror [URL] [OUT] [options]"), help.out);
    }

    @Test
    void nothingIsWrittenOutsideOutWhateverTheLinksSay() throws Exception {
        File work = Jvm.tempDir("mirror-guard");
        File out = new File(work, "copy");
        File outside = new File(work, "outside");
        outside.mkdirs();
        String hostile = String.join("\n",
                "<html><body>",
                "<a href=\"../../../../../escape1.htm\">1</a>",
                "<a href=\"/%2e%2e/%2e%2e/escape2.htm\">2</a>",
                "<a href=\"/..%2f..%2fescape3.htm\">3</a>",
                "<a href=\"/a/..%5c..%5c..%5cescape4.htm\">4</a>",
                "<a href=\"/%2E%2E%2F%2E%2E%2Fescape5.htm?x=../../y\">5</a>",
                "<a href=\"/c:%5cescape6.htm\">6</a>",
                "<a href=\"/linked/escape7.htm\">7</a>",
                "<img src=\"/.%2e/.%2e/escape8.gif\">",
                "</body></html>", "");
        SampleSite.Source any = new SampleSite.Source() {
            public byte[] read(String path) {
                return (path.startsWith("linked/") ? "<html>inside</html>" : hostile).getBytes(StandardCharsets.UTF_8);
            }

            public long lastModified(String path) {
                return 1_600_000_000_000L;
            }
        };
        try (SampleSite site = SampleSite.start(any, any, 0)) {
            String siteDir = "127.0.0.1 " + site.mainUrl().replaceAll(".*:(\\d+)/", "$1");
            // a folder of the copy that leads elsewhere: the guard follows it
            new File(out, siteDir).mkdirs();
            Files.createSymbolicLink(new File(out, siteDir + "/linked").toPath(), outside.toPath());

            Jvm.Result r = MirrorRuns.mirror(site.mainUrl(), out.getPath());
            assertEquals(2, r.exit, "the refused file is an error: " + r.out);
            assertEquals(1, MirrorRuns.count(r.out, "errors"), r.out);
            String log = Files.readString(new File(out, OutFiles.LOG_NAME).toPath());
            assertTrue(log.contains("Refused file outside the mirror:" + out.getCanonicalPath() + File.separator + siteDir
                    + File.separator + "linked" + File.separator + "escape7.htm\n"), log);
        }
        assertEquals(0, outside.list().length, "nothing written through the link");
        // whatever a link climbs to, no escape file lies in a folder above the copy
        for (File dir = out.getCanonicalFile(); dir != null; dir = dir.getParentFile()) {
            String[] names = dir.list((d, n) -> n.startsWith("escape"));
            assertEquals(0, names == null ? 0 : names.length, dir.getPath());
        }
        assertTrue(MirrorRuns.files(out).size() >= 8, "the hostile names were saved inside: " + MirrorRuns.files(out).keySet());
    }
}
