import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.File;
import java.net.URL;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.regex.Pattern;

import org.junit.jupiter.api.Test;

/**
 * Local names through the library's rule: URLs that collided before each get
 * a file of their own, a run without any locale saves names outside ASCII,
 * and links of rewritten pages are read back into the URLs they stood for.
 */
class NamingTest {
    static final long TIME = 1_600_000_000_000L;

    static final String LONG_NAME = "n".repeat(250) + ".html";
    static final String LONG_PATH = ("/" + "d".repeat(99)).repeat(50) + "/leaf.html";

    /** Links of the start page: pairs that shared a file before, names outside ASCII, a NUL, long ones. */
    static final String[] LINKS = {"a%20b.html", "a_20b.html", "x7fenwix.htm", "caf%C3%A9.html", "a%00b.html",
        "d%C3%BCr/", "\u00fc-raw.html", "3_3_10.html", "p.html?q=%26", "p.html?q=&", LONG_NAME, LONG_PATH};

    /** Every page holds the request target it was served for; the start page links to LINKS. */
    static RawHttpServer.Resource answer(String target) {
        StringBuilder b = new StringBuilder("<html><body>").append(target.replace("<", "&lt;")).append('\n');
        if (target.equals("/")) {
            for (String l : LINKS) b.append("<a href=\"").append(l).append("\">x</a>\n");
        }
        return new RawHttpServer.Resource(b.append("</body></html>\n").toString().getBytes(StandardCharsets.UTF_8), TIME,
                "text/html");
    }

    @Test
    void runWithoutLocaleSavesEveryPageInAFileOfItsOwn() throws Exception {
        // cron or "env -i": no LANG, no LC_*, so Java names files in ASCII
        Map<String, String> env = new HashMap<>();
        env.put("PATH", System.getenv().getOrDefault("PATH", "/usr/bin:/bin"));
        Jvm.Result settings = Jvm.runInEnvironment(env, "-XshowSettings:properties", "-version");
        assertTrue(settings.out.contains("sun.jnu.encoding = ANSI_X3.4-1968"), "the child has no locale: " + settings.out);

        File out = new File(Jvm.tempDir("naming"), "copy");
        try (RawHttpServer server = new RawHttpServer(NamingTest::answer)) {
            Jvm.Result r = Jvm.runInEnvironment(env, "Mirror", server.url("/"), out.getPath());
            MirrorRuns.noJniWarning(r.out);
            assertTrue(r.exit == 0 || r.exit == 2, r.out);
            assertTrue(Pattern.compile("(?m)^Done\\.$").matcher(r.out).find(), "the summary is printed: " + r.out);
            assertFalse(r.out.contains("Exception"), r.out);

            // each page the server sent lies in the file its URL names, with its own bytes
            List<String> served = new ArrayList<>();
            for (String req : server.requests) {
                String[] p = req.split(" ");
                // robots.txt is read first, before any page
                if (p[0].equals("GET") && p[2].equals("200") && !p[1].equals("/robots.txt")) served.add(p[1]);
            }
            assertEquals(1 + LINKS.length, served.size(), "every link fetched once: " + server.requests);
            for (String target : served) {
                File f = LocalNames.localFile(out, new URL(server.url(target)));
                assertTrue(f.isFile(), target + " -> " + f);
                byte[] body = answer(target).body;
                if (!target.equals("/")) assertArrayEquals(body, Files.readAllBytes(f.toPath()), target + " -> " + f);
            }
            String site = "127.0.0.1 " + server.port() + "/";
            Map<String, File> files = MirrorRuns.files(out);
            for (String name : new String[] {"a b.html", "a_5F20b.html", "x7fenwix.htm", "_787fenwix.htm",
                "caf_C3_A9.html", "a_00b.html", "d_C3_BCr/x7fenwix.htm", "3_3_5F10.html", "p.html^q=_26.html", "p.html^q=&.html"}) {
                assertTrue(files.containsKey(site + name), name + " in " + files.keySet());
            }
            for (String name : files.keySet()) {
                assertTrue(name.chars().allMatch(c -> c >= 32 && c < 127), name);
                for (String part : name.split("/")) assertTrue(part.length() <= 181, name);
            }
            assertTrue(files.keySet().stream().anyMatch(n -> n.startsWith(site + "x7fenwix-long/")), files.keySet().toString());
        }
    }

    @Test
    void rawAndEscapedUrlsShareTheirName() throws Exception {
        String[][] same = {
            {"http://h/caf\u00e9.html", "http://h/caf%C3%A9.html"},
            {"http://h/a b.html?x=1 2", "http://h/a%20b.html?x=1%202"},
            {"http://H:8080/~x", "http://h:8080/%7Ex"},
            {"http://h/100%.html", "http://h/100%25.html"},
            {"http://h/a/../b/./c", "http://h/b/c"},
            {"http://h/\ud83d\ude00", "http://h/%F0%9F%98%80"},
        };
        for (String[] p : same) {
            assertEquals(LocalNames.relativeName(new URL(p[1])), LocalNames.relativeName(new URL(p[0])), p[0]);
        }
        assertEquals("h 8080/caf_C3_A9.html", LocalNames.relativeName(new URL("http://h:8080/caf\u00e9.html")));
        assertEquals("h/a_00b.html", LocalNames.relativeName(new URL("http://h/a\u0000b.html")));
    }

    @Test
    void linksOfRewrittenPagesReadBack() throws Exception {
        // the link as the rewrite wrote it, resolved against the page's web address
        String[][] cases = {
            {"docs/x7fenwix.htm", "http://h/docs/"},
            {"news.html^page=2.html", "http://h/news.html?page=2"},
            {"news.html^page=2", "http://h/news.html?page=2"},
            {"a b.html", "http://h/a%20b.html"},
            {"a_5F20b.html^q=_26", "http://h/a_20b.html?q=%26"},
            {"_787fenwix.htm", "http://h/x7fenwix.htm"},
            {"d_C3_BCr/x7fenwix.htm^", "http://h/d%C3%BCr/?"},
            // no name an earlier run wrote: a web address's own path, a capped name
            {"file_2023.html", "http://h/file_2023.html"},
            {"n".repeat(168) + "~0123456789ab", "http://h/" + "n".repeat(168) + "~0123456789ab"},
        };
        URL page = new URL("http://h/index.html");
        for (String[] c : cases) {
            URL link = new URL(page, c[0]);
            assertEquals(c[1], SavedLinks.requestable(SavedLinks.original(link)).toString(), c[0]);
        }
        // every name the rule gives is read back into a URL of the same name
        for (String u : new String[] {"http://h/a%20b/c_d_4F.html?x=%26y&z", "http://h/%C3%A9t%C3%A9/", "http://h/.%2e/x",
            "http://h/x7FENWIX/a^b"}) {
            URL url = new URL(u);
            String rel = LocalNames.relativeName(url);
            URL link = new URL(page, rel.substring(rel.indexOf('/') + 1));
            assertEquals(rel, LocalNames.relativeName(SavedLinks.requestable(SavedLinks.original(link))), u);
        }
    }

    @Test
    void linksRequestableAsTheyStandAreTheRebuiltOnes() throws Exception {
        // the shortcut for a link that needs no change gives what rebuilding the link gives
        String[] pieces = {"a", "b.html", ".", "..", "/", "%", "%2e", "%zz", "%4", " ", "^", "{", "\u00e9", "?", "#", "&", "=", "~"};
        java.util.Random r = new java.util.Random(9);
        int same = 0;
        for (int i = 0; i < 5_000; i++) {
            StringBuilder b = new StringBuilder(r.nextInt(8) == 0 ? "http://h:8080" : "http://h");
            for (int n = r.nextInt(8); n >= 0; n--) b.append(pieces[r.nextInt(pieces.length)]);
            URL url;
            try {
                url = new URL(b.toString());
            } catch (java.net.MalformedURLException e) {
                continue;
            }
            URL rebuilt = SavedLinks.build(url, url.getPath(), url.getQuery());
            assertEquals(rebuilt.toString(), SavedLinks.requestable(url).toString(), b.toString());
            if (rebuilt == url) same++;
        }
        assertTrue(same > 200, "links that need no change: " + same);
        // what either way escapes, and the escapes it keeps
        assertEquals("http://h/a%5Eb%7Bc%7D%20d%22e%25zz%C3%A9%60%7C%3C%3E%2e?q=%5C%41",
                SavedLinks.requestable(new URL("http://h/a^b{c} d\"e%zz\u00e9`|<>%2e?q=\\%41")).toString());
    }
}
