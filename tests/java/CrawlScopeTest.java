import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.File;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.List;
import java.util.Random;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

import org.junit.jupiter.api.Test;

/**
 * What a Mirror run fetches, as nginx's access log shows it: the start
 * folder, robots.txt, --parent, --include/--exclude, --max-size, the user
 * agent of every request; and --help, which documents every option.
 */
class CrawlScopeTest {
    private static void write(File root, String path, String text) throws Exception {
        File f = new File(root, path);
        f.getParentFile().mkdirs();
        Files.writeString(f.toPath(), text);
    }

    /** The site of the report: a start page in /docs/a/ linking next to it, above it and into a private folder. */
    private static File site(String name) throws Exception {
        File www = new File(Jvm.tempDir(name), "www");
        write(www, "docs/a/index.html", "<html><body><a href=\"../b/sibling.html\">s</a>"
                + " <a href=\"/other/page.html\">o</a> <a href=\"private/secret.html\">p</a>"
                + " <a href=\"more.html\">m</a> <a href=\"big.bin\">big</a> <a href=\"notes.txt\">n</a>"
                + " <img src=\"/img/logo.gif\"></body></html>");
        write(www, "docs/a/more.html", "<html><a href=\"index.html\">back</a> <a href=\"deep/d.html\">d</a></html>");
        write(www, "docs/a/deep/d.html", "<html>deep</html>");
        write(www, "docs/a/notes.txt", "notes");
        write(www, "docs/a/private/secret.html", "<html>secret</html>");
        write(www, "docs/b/sibling.html", "<html>sibling</html>");
        write(www, "other/page.html", "<html>other</html>");
        write(www, "img/logo.gif", "GIF89a");
        byte[] big = new byte[64 * 1024];
        new Random(7).nextBytes(big);
        Files.write(new File(www, "docs/a/big.bin").toPath(), big);
        write(www, "robots.txt", "# the site's rules\nUser-agent: *\nDisallow: /docs/a/private/\n\n"
                + "User-agent: TestBot\nDisallow: /docs/a/more\nAllow: /docs/a/more.html$\nDisallow: /docs/a/deep\n");
        return www;
    }

    private static List<String> paths(List<Nginx.Entry> log) {
        List<String> out = new ArrayList<>();
        for (Nginx.Entry e : log) out.add(e.method + " " + e.path);
        return out;
    }

    @Test
    void pagesStayBelowTheStartFolderAndRobotsTxtIsReadFirstAndHonoured() throws Exception {
        File www = site("scope-default");
        File out = new File(www.getParentFile(), "copy");
        try (Nginx web = Nginx.start(www)) {
            Jvm.Result r = MirrorRuns.mirror(web.url("/docs/a/index.html").toString(), out.getPath());
            assertEquals(0, r.exit, r.out);
            List<Nginx.Entry> log = web.accessLog();
            List<String> asked = paths(log);
            assertEquals("GET /robots.txt", asked.get(0), "robots.txt comes first: " + asked);
            for (String p : asked) {
                assertFalse(p.contains("/docs/b/") || p.contains("/other/") || p.contains("/private/"),
                        "out of scope or disallowed: " + asked);
            }
            // the requisite comes from above the folder; the pages below it all come
            for (String p : List.of("GET /img/logo.gif", "GET /docs/a/more.html", "GET /docs/a/deep/d.html",
                    "GET /docs/a/big.bin")) {
                assertTrue(asked.contains(p), p + " missing: " + asked);
            }
            // the library's User-Agent on every request, the start page's check and robots.txt included
            for (Nginx.Entry e : log) assertEquals(Requests.LIBRARY_AGENT, e.userAgent, e.toString());
            assertEquals(1, MirrorRuns.count(r.out, "skipped"), r.out);
            assertTrue(r.out.contains("skipped:            1 (1 robots.txt)"), r.out);
            String mirrorLog = Files.readString(new File(out, OutFiles.LOG_NAME).toPath());
            assertTrue(mirrorLog.contains("Skipped:" + web.url("/docs/a/private/secret.html")
                    + " (robots.txt Disallow: /docs/a/private/)"), mirrorLog);
            String index = Files.readString(new File(out, "127.0.0.1 " + web.port() + "/docs/a/index.html").toPath());
            assertTrue(index.contains("href=\"" + web.url("/docs/b/sibling.html") + "\""), "left as web address: " + index);
            assertTrue(index.contains("src=\"../../img/logo.gif\""), index);
        }
    }

    @Test
    void parentNoRobotsIncludeExcludeAndMaxSizeChangeWhatIsAsked() throws Exception {
        File www = site("scope-options");
        File work = www.getParentFile();
        try (Nginx web = Nginx.start(www)) {
            String start = web.url("/docs/a/index.html").toString();

            int from = web.accessLog().size();
            Jvm.Result all = MirrorRuns.mirror(start, new File(work, "all").getPath(), "--parent", "--no-robots");
            assertEquals(0, all.exit, all.out);
            List<String> asked = paths(web.accessLogFrom(from));
            for (String p : List.of("GET /docs/b/sibling.html", "GET /other/page.html", "GET /docs/a/private/secret.html")) {
                assertTrue(asked.contains(p), p + " missing with --parent --no-robots: " + asked);
            }
            assertFalse(asked.contains("GET /robots.txt"), asked.toString());

            from = web.accessLog().size();
            Jvm.Result some = MirrorRuns.mirror(start, new File(work, "some").getPath(), "--no-robots",
                    "--exclude", "/docs/a/private/", "--exclude", "*.txt", "--max-size", "10k");
            assertEquals(0, some.exit, some.out);
            asked = paths(web.accessLogFrom(from));
            assertFalse(asked.stream().anyMatch(p -> p.contains("/private/") || p.endsWith(".txt")), asked.toString());
            // a file over --max-size is asked, seen too large by its length, and not saved
            assertTrue(asked.contains("GET /docs/a/big.bin"), asked.toString());
            String site = "127.0.0.1 " + web.port();
            assertFalse(new File(work, "some/" + site + "/docs/a/big.bin").exists());
            assertFalse(new File(work, "some/" + site + "/docs/a/big.bin" + IncompleteMarker.SUFFIX).exists());
            assertTrue(some.out.contains("skipped:            1 (1 too large)"), some.out);
            assertTrue(Files.readString(new File(work, "some/" + OutFiles.LOG_NAME).toPath()).contains(
                    "Skipped:" + web.url("/docs/a/big.bin") + " (larger than --max-size 10240 bytes)"));
            assertArrayEquals(Files.readAllBytes(new File(www, "img/logo.gif").toPath()),
                    Files.readAllBytes(new File(work, "some/" + site + "/img/logo.gif").toPath()));

            // a start page robots.txt forbids: not asked at all, not even checked
            from = web.accessLog().size();
            Jvm.Result forbidden = MirrorRuns.mirror(web.url("/docs/a/private/secret.html").toString(),
                    new File(work, "forbidden").getPath());
            assertEquals(2, forbidden.exit, forbidden.out);
            assertEquals(List.of("GET /robots.txt"), paths(web.accessLogFrom(from)));
            assertTrue(forbidden.out.contains("skipped:            1 (1 robots.txt)"), forbidden.out);

            from = web.accessLog().size();
            Jvm.Result only = MirrorRuns.mirror(start, new File(work, "only").getPath(), "--include", "/docs/**.html",
                    "--depth", "1");
            assertEquals(0, only.exit, only.out);
            asked = paths(web.accessLogFrom(from));
            assertFalse(asked.contains("GET /img/logo.gif") || asked.contains("GET /docs/a/big.bin"), asked.toString());
            assertTrue(asked.contains("GET /docs/a/more.html"), asked.toString());
            assertFalse(asked.contains("GET /docs/a/deep/d.html"), "past --depth 1: " + asked);
        }
    }

    @Test
    void theUserAgentGoesOnEveryRequestAndPicksItsRobotsGroup() throws Exception {
        File www = site("scope-agent");
        File out = new File(www.getParentFile(), "copy");
        try (Nginx web = Nginx.start(www)) {
            Jvm.Result r = MirrorRuns.mirror(web.url("/docs/a/index.html").toString(), out.getPath(),
                    "--user-agent", "TestBot/2.0 (+http://example.test/bot)");
            assertEquals(0, r.exit, r.out);
            List<Nginx.Entry> log = web.accessLog();
            assertEquals("HEAD /docs/a/index.html", paths(log).get(1), "the start page's check: " + paths(log));
            for (Nginx.Entry e : log) assertEquals("TestBot/2.0 (+http://example.test/bot)", e.userAgent, e.toString());
            List<String> asked = paths(log);
            // its own group, not '*': the private folder is allowed, more.html by the longer Allow, deep/ not
            assertTrue(asked.contains("GET /docs/a/private/secret.html"), asked.toString());
            assertTrue(asked.contains("GET /docs/a/more.html"), asked.toString());
            assertFalse(asked.contains("GET /docs/a/deep/d.html"), asked.toString());
        }
    }

    @Test
    void helpListsEveryOptionOfTheCommandLineAndEveryExitCode() throws Exception {
        Jvm.Result help = MirrorRuns.mirror("--help");
        assertEquals(0, help.exit, help.out);
        String source = Files.readString(new File(System.getProperty("x7.source", "."), "host/mirror/Options.java").toPath());
        Matcher m = Pattern.compile("case \"(--[a-z-]+)\":").matcher(source);
        int options = 0;
        while (m.find()) {
            options++;
            assertTrue(help.out.contains("  " + m.group(1) + " ") || help.out.contains(", " + m.group(1) + " ")
                    || help.out.contains("  " + m.group(1) + "\n"), m.group(1) + " is not in --help:\n" + help.out);
        }
        assertTrue(options >= 20, "options found in Options.java: " + options);
        for (String code : List.of("    0   ", "    1   ", "    2   ", "    3   ", "  130   ")) {
            assertTrue(help.out.contains("\n" + code), "exit code " + code.trim() + " not in --help:\n" + help.out);
        }
    }
}
