import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.File;
import java.io.IOException;
import java.net.URLDecoder;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.TreeSet;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.stream.Collectors;

import org.junit.jupiter.api.Test;

/**
 * A site with one of each kind of reference a browser follows, served by
 * nginx and mirrored by the Mirror program: every target is fetched, every
 * reference of the copy leads to a saved file (by --check and by a reading
 * of the copy of this test's own), and nothing but the references changes.
 */
class OfflineCopyTest {
    private static final String INDEX = String.join("\n",
            "<!DOCTYPE html><html><head><meta charset=\"utf-8\">",
            "<link rel=\"stylesheet\" href=\"css/site.css?v=2\">",
            "<LINK REL=icon HREF=/favicon.ico>",
            "<style>@import \"css/print.css\"; body { background: url('img/bg.png') }</style>",
            "<script src=\" js/app.js\n\"></script>",
            "</head><body background=\"img/body.gif\">",
            "<img src=\"img/a.png\" srcset=\"img/a-1x.png 1x, img/a-2x.png 2x\">",
            "<picture><source srcset=\"img/b.webp\"><IMG SRC='img/b.png'></picture>",
            "<iframe src=\"frame.html\"></iframe>",
            "<video src=\"media/v.mp4\" poster=\"img/poster.jpg\"><track src=\"media/sub.vtt\"></video>",
            "<audio><source src=\"media/s.ogg\"></audio>",
            "<object data=\"media/o.svg\"></object><embed src=\"media/e.swf\">",
            "<form><input type=\"image\" src=\"img/go.png\"></form>",
            "<map name=m><area href=\"area.html\" shape=rect coords=\"0,0,1,1\"></map>",
            "<div style=\"background-image:url(img/div.png)\">x</div>",
            "<a href=\"list.html?page=2&amp;sort=asc\">list</a>",
            "<a href=\"na&#xEF;ve.html\">entity</a> <a href=\"na\u00efve.html\">raw</a>",
            "<a href=\"sub/page.html\">base</a>",
            "<a href=\"sub/deep/../../top.html\">dots</a>",
            "<a href=\"http://127.0.0.1:PORT/abs.html\">absolute</a> <a href=\"/root.html\">root</a>",
            "<a href=\"pct%25name.html\">percent</a> <a href=\"p%2541.html\">escape</a> <a href=\"https://www.example.org/out\">out</a>",
            "<a href=\"#top\">top</a> <a href=\"mailto:x@example.org\">mail</a>",
            "</body></html>", "");
    // below a base href that moves every relative link to /other/; one link climbs above the root
    private static final String SUB = "<html><head><base href=\"/other/\"></head><body><a href=\"b.html\">b</a>"
            + "<img src=pic.png><a href=\"../../../x/up.html\">up</a></body></html>\n";
    private static final String SITE_CSS = "@import url(\"print2.css\");\n"
            + "@font-face { font-family: f; src: url(../fonts/f.woff2) format(\"woff2\"); }\n"
            + "h1 { background: url( \"../img/h\\31 .png\" ) }\n";

    /** Every file of the site: each is the target of one reference (besides the start page). */
    private static final List<String> FILES = List.of("index.html", "css/site.css", "css/print.css", "css/print2.css",
            "favicon.ico", "img/bg.png", "js/app.js", "img/body.gif", "img/a.png", "img/a-1x.png", "img/a-2x.png",
            "img/b.webp", "img/b.png", "frame.html", "img/f.png", "media/v.mp4", "img/poster.jpg", "media/sub.vtt",
            "media/s.ogg", "media/o.svg", "media/e.swf", "img/go.png", "area.html", "refresh.html", "img/div.png",
            "list.html", "na\u00efve.html", "sub/page.html", "other/b.html", "other/pic.png", "x/up.html", "top.html",
            "abs.html", "root.html", "pct%name.html", "p%41.html", "fonts/f.woff2", "img/h1.png", "img/p.png");

    private static File site(File work, int port) throws IOException {
        File www = new File(work, "www");
        for (String f : FILES) {
            Path p = www.toPath().resolve(f);
            Files.createDirectories(p.getParent());
            Files.write(p, ("<html><body>" + f + "</body></html>\n").getBytes(StandardCharsets.UTF_8));
        }
        write(www, "index.html", INDEX.replace("PORT", String.valueOf(port)));
        write(www, "sub/page.html", SUB);
        write(www, "css/site.css", SITE_CSS);
        write(www, "css/print.css", "p { background: url(../img/p.png) }\n");
        write(www, "css/print2.css", "/* url(never.png) */ i { color: red }\n");
        write(www, "frame.html", "<html><img src=\"img/f.png\"></html>\n");
        write(www, "area.html", "<html><head><meta http-equiv=\"refresh\" content=\"0; url=refresh.html\"></head></html>\n");
        return www;
    }

    private static void write(File www, String name, String text) throws IOException {
        Files.write(www.toPath().resolve(name), text.getBytes(StandardCharsets.UTF_8));
    }

    @Test
    void everyReferenceIsFetchedAndLeadsToItsSavedFile() throws Exception {
        File work = Jvm.tempDir("offline-copy");
        File out = new File(work, "copy");
        File www = new File(work, "www");
        www.mkdirs();
        try (Nginx web = Nginx.start(www)) {
            site(work, web.port());
            Jvm.Result r = MirrorRuns.mirror(web.url("/index.html").toString(), out.getPath(), "--check");
            assertEquals(0, r.exit, r.out);
            assertTrue(r.out.contains("all resolve to saved files"), r.out);

            List<Nginx.Entry> log = web.accessLog();
            Set<String> got = log.stream().filter(e -> e.status == 200).map(e -> e.path).collect(Collectors.toCollection(TreeSet::new));
            for (String f : FILES) {
                String asked = "/" + f.replace("%", "%25").replace("\u00ef", "%C3%AF");
                assertTrue(got.contains(asked) || got.stream().anyMatch(p -> p.startsWith(asked + "?")), asked + " not fetched: " + got);
            }
            // entities decoded, white space trimmed, dot segments gone above the root, no request repeated
            assertTrue(got.contains("/list.html?page=2&sort=asc"), got.toString());
            assertTrue(got.contains("/css/site.css?v=2"), got.toString());
            for (Nginx.Entry e : log) {
                if (e.path.equals("/robots.txt")) continue;  // asked first, and the fixture has none
                assertTrue(e.status == 200, "every request is answered 200: " + e);
                assertFalse(e.path.contains("&amp;") || e.path.contains("..") || e.path.contains("%20"), e.toString());
            }
            assertFalse(got.contains("/never.png") || got.contains("/css/never.png"), "a commented url() is no reference");
            List<String> gets = log.stream().filter(e -> e.method.equals("GET")).map(e -> e.path).collect(Collectors.toList());
            assertEquals(gets.size(), gets.stream().distinct().count(), "each URL once: " + gets);

            File saved = new File(out, "127.0.0.1 " + web.port());
            String index = Files.readString(new File(saved, "index.html").toPath());
            assertEquals(List.of(), offlineFaults(out), "this test's own reading of the copy");
            // the references name the saved files, escaped where a browser would read them otherwise
            assertTrue(index.contains("href=\"css/site.css^v=2.css\""), index);
            assertTrue(index.contains("href=\"list.html^page=2%26sort=asc.html\""), index);
            assertTrue(index.contains("href=\"na_C3_AFve.html\">entity") && index.contains("href=\"na_C3_AFve.html\">raw"), index);
            // escapes in the URL name files that hold none, which a browser could decode
            assertTrue(index.contains("href=\"p_2541.html\"") && index.contains("href=\"pct_25name.html\""), index);
            assertTrue(index.contains("href=\"abs.html\"") && index.contains("href=\"root.html\""), index);
            assertTrue(index.contains("href=\"https://www.example.org/out\""), "not saved: its web address stays");
            assertTrue(index.contains("url(img/div.png)") && index.contains("url('img/bg.png')"), index);
            String sub = Files.readString(new File(saved, "sub/page.html").toPath());
            assertTrue(sub.contains("<base href=\"page.html\">"), "the base points at the page itself: " + sub);
            assertTrue(sub.contains("href=\"../other/b.html\"") && sub.contains("src=../other/pic.png")
                    && sub.contains("href=\"../x/up.html\""), sub);
            // every byte but the references' is the server's
            assertEquals(outsideRefs(Files.readAllBytes(new File(www, "index.html").toPath())),
                    outsideRefs(Files.readAllBytes(new File(saved, "index.html").toPath())));
            assertEquals(outsideRefs(Files.readAllBytes(new File(www, "sub/page.html").toPath())),
                    outsideRefs(Files.readAllBytes(new File(saved, "sub/page.html").toPath())));

            // an update asks again for what the pages and sheets name, changes nothing, and stays whole
            Map<String, String> before = MirrorRuns.snapshot(out);
            int from = web.accessLog().size();
            Jvm.Result again = MirrorRuns.mirror(web.url("/index.html").toString(), out.getPath(), "--check");
            assertEquals(0, again.exit, again.out);
            Set<String> asked = web.accessLogFrom(from).stream().map(e -> e.path).collect(Collectors.toSet());
            assertTrue(asked.containsAll(List.of("/js/app.js", "/fonts/f.woff2", "/img/h1.png", "/x/up.html", "/other/pic.png")),
                    asked.toString());
            assertTrue(web.accessLogFrom(from).stream().filter(e -> e.method.equals("GET") && !e.path.equals("/robots.txt")).allMatch(e -> e.status == 304),
                    web.accessLogFrom(from).toString());
            assertEquals(before, MirrorRuns.snapshot(out), "the update changed no byte");
        }
    }

    @Test
    void requisitesComeWithTheirPageWhateverTheDepth() throws Exception {
        File work = Jvm.tempDir("offline-depth");
        File out = new File(work, "copy");
        File www = new File(work, "www");
        www.mkdirs();
        try (Nginx web = Nginx.start(www)) {
            site(work, web.port());
            Jvm.Result r = MirrorRuns.mirror(web.url("/index.html").toString(), out.getPath(), "--depth", "0");
            assertEquals(0, r.exit, r.out);
            Set<String> got = web.accessLog().stream().map(e -> e.path).collect(Collectors.toSet());
            for (String p : List.of("/js/app.js", "/css/print2.css", "/fonts/f.woff2", "/img/p.png", "/frame.html", "/img/f.png",
                    "/media/sub.vtt", "/img/a-2x.png", "/img/div.png")) {
                assertTrue(got.contains(p), p + " " + got);
            }
            for (String p : List.of("/area.html", "/top.html", "/list.html?page=2&sort=asc", "/refresh.html")) {
                assertFalse(got.contains(p), "a page one link away is past depth 0: " + p);
            }
            // the links to pages that were not saved are web addresses: the copy is whole
            Jvm.Result check = MirrorRuns.mirror("--check", out.getPath());
            assertEquals(0, check.exit, check.out);
            assertTrue(Files.readString(new File(out, "127.0.0.1 " + web.port() + "/index.html").toPath())
                    .contains("href=\"" + web.url("/top.html") + "\""));
        }
    }

    @Test
    void checkListsWhatDoesNotResolveAndSaysSoInItsExitCode() throws Exception {
        File work = Jvm.tempDir("offline-check");
        File site = new File(work, "copy/127.0.0.1 8080");
        Files.createDirectories(site.toPath().resolve("img"));
        Files.writeString(site.toPath().resolve("img/here.png"), "png");
        Files.writeString(site.toPath().resolve("a b.html"), "<html>x</html>");
        Files.writeString(site.toPath().resolve("p.html"), "<html><img src=\"img/here.png\"><a href=\"a%20b.html#x\">"
                + "<a href=\"#top\"><a href=\"https://www.example.org/\"><a href=\"mailto:x@y\"></html>");
        File copy = new File(work, "copy");
        Jvm.Result whole = MirrorRuns.mirror("--check", copy.getPath());
        assertEquals(0, whole.exit, whole.out);
        assertTrue(whole.out.contains("Check: 5 references in 2 pages and stylesheets, all resolve"), whole.out);

        Files.writeString(site.toPath().resolve("s.css"), "b { background: url(gone.png) }");
        Files.writeString(site.toPath().resolve("q.html"), "<html><base href=\"http://127.0.0.1/\"><img src=\"/img/here.png\">"
                + "<a href=\"gone.html?x=1\"><a href=\"http://127.0.0.1:8080/p.html\"><a href=\"img\"><a href=\"../../out.html\"></html>");
        Jvm.Result broken = MirrorRuns.mirror("--check", copy.getPath());
        assertEquals(3, broken.exit, broken.out);
        List<String> lines = broken.out.lines().filter(l -> l.startsWith("Broken: ")).collect(Collectors.toList());
        assertEquals(List.of(
                "Broken: 127.0.0.1 8080/q.html\thttp://127.0.0.1/\tbase href leads off the copy",
                "Broken: 127.0.0.1 8080/q.html\t/img/here.png\tfrom the root of the disk",
                "Broken: 127.0.0.1 8080/q.html\tgone.html?x=1\tno saved file (a query names no file)",
                "Broken: 127.0.0.1 8080/q.html\thttp://127.0.0.1:8080/p.html\tweb address of a saved file",
                "Broken: 127.0.0.1 8080/q.html\timg\tnames a folder",
                "Broken: 127.0.0.1 8080/q.html\t../../out.html\tleads out of the copy",
                "Broken: 127.0.0.1 8080/s.css\tgone.png\tno saved file"), lines, broken.out);

        Jvm.Result help = MirrorRuns.mirror("--help");
        assertTrue(help.out.contains("--check") && help.out.contains("3   (with --check)"), help.out);
    }

    private static final Pattern ATTR = Pattern.compile(
            "(?is)\\s(src|href|data|poster|background|srcset)\\s*=\\s*(\"[^\"]*\"|'[^']*'|[^\\s>]+)");
    private static final Pattern CSS_URL = Pattern.compile("(?is)url\\(\\s*(\"[^\"]*\"|'[^']*'|[^)\\s]*)\\s*\\)|@import\\s+(\"[^\"]*\"|'[^']*')");

    /**
     * The local references of every saved page and stylesheet, read with
     * regular expressions rather than the program's scanner, that name no
     * saved file: "document: reference".
     */
    static List<String> offlineFaults(File root) throws IOException {
        List<String> faults = new ArrayList<>();
        for (File f : MirrorRuns.files(root).values()) {
            String name = f.getName();
            boolean css = name.endsWith(".css") || name.contains(".css^");
            if (!css && !SavedLinks.startsLikePage(f)) continue;
            // comments hold no references
            String s = Files.readString(f.toPath(), StandardCharsets.ISO_8859_1).replaceAll("(?s)/\\*.*?\\*/", "");
            List<String> refs = new ArrayList<>();
            Matcher m = CSS_URL.matcher(s);
            while (m.find()) refs.add(cssUnescaped(unquote(m.group(1) != null ? m.group(1) : m.group(2))));
            if (!css) {
                m = ATTR.matcher(s);
                while (m.find()) {
                    String v = unquote(m.group(2)).replace("&amp;", "&").trim();  // as a browser reads it
                    if (!m.group(1).equalsIgnoreCase("srcset")) refs.add(v);
                    else for (String c : v.split(",")) refs.add(c.trim().split("\\s+")[0]);
                }
            }
            for (String ref : refs) {
                if (ref.isEmpty() || ref.startsWith("#") || ref.matches("(?s)^[A-Za-z][A-Za-z0-9+.-]*:.*")) continue;
                if (f.getName().equals("page.html") && ref.equals("page.html")) continue;  // the neutral base
                String path = ref.replaceAll("#.*", "");
                File target = new File(f.getParentFile(), URLDecoder.decode(path.replace("+", "%2B"), StandardCharsets.UTF_8));
                if (path.contains("?") || !target.isFile()) faults.add(root.toPath().relativize(f.toPath()) + ": " + ref);
            }
        }
        return faults;
    }

    /** Hex escapes of CSS ("h\\31 .png" is "h1.png"), the one kind the fixture uses. */
    private static String cssUnescaped(String v) {
        return Pattern.compile("\\\\([0-9A-Fa-f]{1,6}) ?").matcher(v)
                .replaceAll(r -> new String(Character.toChars(Integer.parseInt(r.group(1), 16))));
    }

    private static String unquote(String v) {
        return v.length() >= 2 && (v.charAt(0) == '"' || v.charAt(0) == '\'') ? v.substring(1, v.length() - 1) : v;
    }

    /** The bytes of a page outside its references, reference by reference. */
    private static List<String> outsideRefs(byte[] page) {
        List<String> parts = new ArrayList<>();
        int at = 0;
        for (PageRefs.Ref r : PageRefs.of(page, page.length, false)) {
            parts.add(new String(page, at, r.start() - at, StandardCharsets.ISO_8859_1));
            at = r.end();
        }
        parts.add(new String(page, at, page.length - at, StandardCharsets.ISO_8859_1));
        return parts;
    }
}
