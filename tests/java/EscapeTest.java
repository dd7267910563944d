import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.File;
import java.io.IOException;
import java.net.MalformedURLException;
import java.net.URL;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.Random;
import java.util.TreeMap;
import java.util.stream.Stream;

import org.junit.jupiter.api.Test;

/**
 * Links that try to climb out of the mirror: relative climbs, absolute paths,
 * dots and separators percent-encoded, backslashes, odd host names. Whatever
 * they say, the Mirror program writes only inside its output folder, in the
 * crawl and in the rewrite pass, on the first run and on the update.
 */
class EscapeTest {
    static final long TIME = 1_600_000_000_000L;

    /** Host names that are no names: served through the test server acting as the proxy. */
    static final String[] ODD_HOSTS = {"..", ".", "%2e%2e", "...", "a..b"};

    static final String[] LINKS = {
        "../../../../etc/passwd", "/../../../../etc/passwd", "/%2e%2e/%2e%2e/%2e%2e/etc/passwd",
        "%2e%2e%2f%2e%2e%2f%2e%2e%2fescape1.htm", "..%2f..%2f..%2fescape2.htm", "..%5c..%5c..%5cescape3.htm",
        "..\\..\\..\\escape4.htm", "/..\\..\\escape5.htm", "/sub/..%2F..%2F..%2Fescape6.htm",
        "/a/b/..%252f..%252fescape7.htm", "/%2E%2E%5C%2E%2E%5Cescape8.htm", "/.%2e/.%2e/escape9.htm",
        "/%c0%ae%c0%ae/%c0%ae%c0%ae/escape10.htm", "/%00/escape11.htm", "/escape12.htm?p=../../../x&q=..%2f..",
        "/escape13.htm#../../../x", "file:///etc/passwd", "/C:%5cescape14.htm", "/~root/escape15.htm",
        "//../", "http://../../../escape16.htm", "http://./escape17.htm", "http://%2e%2e/escape18.htm",
        "http://.../escape19.htm", "http://a..b/../../escape20.htm", "/sub/deeper/page.htm", "/dir/",
        "/./././escape21.htm", "/...//....//escape22.htm", "/x7fenwix.htm/../../escape23.htm",
    };

    static String hostilePage() {
        StringBuilder b = new StringBuilder("<html><head><title>climbing</title></head><body>\n");
        for (String l : LINKS) {
            b.append("<a href=\"").append(l).append("\">a</a> <img src='").append(l.replace("escape", "pic"))
                    .append("'> <frame src=").append(l.replace(" ", "%20").replace("escape", "frame")).append(">\n");
        }
        return b.append("</body></html>\n").toString();
    }

    /** What each request target gets: the climbing page at the start of each site part and deeper down, else a leaf. */
    static RawHttpServer.Resource answer(String target) {
        String path = target.startsWith("/") ? target : target.replaceFirst("^[a-zA-Z]+://[^/]*", "");
        String bare = path.replaceAll("[?#].*", "");
        if (bare.equals("/") || bare.startsWith("/sub/deeper/")) {
            return new RawHttpServer.Resource(hostilePage().getBytes(StandardCharsets.UTF_8), TIME, "text/html");
        }
        if (bare.endsWith(".gif")) return new RawHttpServer.Resource("GIF89a".getBytes(), TIME, "image/gif");
        return new RawHttpServer.Resource("<html><a href=\"/\">home</a> <a href='../../../up.htm'>up</a></html>"
                .getBytes(StandardCharsets.UTF_8), TIME, "text/html");
    }

    /** Size, time and content of every file below dir, and every folder, outside skip. */
    static Map<String, String> snapshot(Path dir, Path skip) throws IOException {
        Map<String, String> out = new TreeMap<>();
        try (Stream<Path> s = Files.walk(dir)) {
            for (Path p : (Iterable<Path>) s::iterator) {
                if (p.startsWith(skip)) continue;
                String rel = dir.relativize(p).toString();
                if (Files.isDirectory(p, LinkOption.NOFOLLOW_LINKS)) {
                    out.put(rel + "/", "dir");
                } else {
                    byte[] b = Files.readAllBytes(p);
                    out.put(rel, b.length + " " + Files.getLastModifiedTime(p).toMillis() + " " + Arrays.hashCode(b));
                }
            }
        }
        return out;
    }

    static List<String> escapeNames(File dir) {
        String[] names = dir.list((d, n) -> n.startsWith("escape") || n.startsWith("pic") || n.startsWith("frame")
                || n.equals("up.htm"));
        return names == null ? List.of() : Arrays.asList(names);
    }

    @Test
    void climbingLinksNeverLeadTheMirrorOutOfItsFolder() throws Exception {
        File work = Jvm.tempDir("climb");
        File parent = new File(work, "parent");
        assertTrue(parent.mkdir());
        File out = new File(parent, "copy");
        // Files beside the copy that a climbing link could reach.
        File victim = new File(work, "victim");
        for (String f : new String[] {"etc/passwd", "escape1.htm", "sub/escape2.htm", "x7fenwix.htm"}) {
            File v = new File(victim, f);
            v.getParentFile().mkdirs();
            Files.writeString(v.toPath(), "original " + f);
            assertTrue(v.setLastModified(TIME - 1000));
        }
        Map<String, String> before = snapshot(work.toPath(), out.toPath());
        File passwd = new File("/etc/passwd");
        byte[] passwdBytes = Files.readAllBytes(passwd.toPath());
        long passwdTime = passwd.lastModified();
        File[] above = {new File("/"), new File("/etc"), new File("/tmp"), work.getParentFile()};
        List<List<String>> aboveBefore = new ArrayList<>();
        for (File d : above) aboveBefore.add(escapeNames(d));

        try (RawHttpServer server = new RawHttpServer(EscapeTest::answer)) {
            List<String> args = new ArrayList<>(List.of(server.url("/"), out.getPath(), "--depth", "3"));
            for (String h : ODD_HOSTS) args.addAll(List.of("--allow", h));
            List<String> proxy = List.of("-Dhttp.proxyHost=127.0.0.1", "-Dhttp.proxyPort=" + server.port());
            for (int run = 1; run <= 2; run++) {
                int asked = server.requests.size();
                Jvm.Result r = Jvm.runWithOptions(proxy, "Mirror", args.toArray(new String[0]));
                MirrorRuns.noJniWarning(r.out);
                String what = "run " + run + ":\n" + r.out;
                assertTrue(r.exit == 0 || r.exit == 2, what);
                assertFalse(r.out.contains("Exception") || r.out.contains("\tat "), what);
                assertTrue(server.requests.size() - asked > 60, "the climbing links were followed: "
                        + (server.requests.size() - asked) + " requests");

                assertEquals(List.of("copy"), Arrays.asList(parent.list()), what);
                assertEquals(before, snapshot(work.toPath(), out.toPath()), "nothing outside the copy changed, " + what);
                assertArrayEquals(passwdBytes, Files.readAllBytes(passwd.toPath()));
                assertEquals(passwdTime, passwd.lastModified());
                for (int i = 0; i < above.length; i++) {
                    assertEquals(aboveBefore.get(i), escapeNames(above[i]), above[i].getPath());
                }
                assertAllInside(out);
            }
            String site = "127.0.0.1 " + server.port();
            // the climbs were saved, inside, under the names the mirror gives them
            Map<String, File> saved = MirrorRuns.files(out);
            String names = saved.size() + " files, e.g. " + new ArrayList<>(saved.keySet()).subList(0, 10);
            // a climb above the root ends at the root; ".." written "%2e%2e" is a folder "_2E."
            assertTrue(saved.containsKey(site + "/etc/passwd"), names);
            assertTrue(saved.containsKey(site + "/_2E./_2E./_2E./etc/passwd"), names);
            assertTrue(saved.containsKey("_2E./x7fenwix.htm") && saved.containsKey("_2E/x7fenwix.htm"),
                    "hosts '..' and '.' apart: " + names);
            assertTrue(saved.containsKey("_252e_252e/escape18.htm"), names);
            // URLs of one file (a climb, its encoded look-alike) share it: fetched and rewritten once
            String log = Files.readString(new File(out, OutFiles.LOG_NAME).toPath(), StandardCharsets.UTF_8);
            assertFalse(log.contains("Error rewriting file:"), log);
            String start = Files.readString(new File(out, site + "/x7fenwix.htm").toPath(), StandardCharsets.ISO_8859_1);
            assertTrue(start.contains("<a href=\"etc/passwd\">") && start.contains("<a href=\"_2E./_2E./_2E./etc/passwd\">"),
                    "the rewrite pass pointed the climbs at the copy: " + start);
            System.out.println("escape: " + server.requests.size() + " requests over two runs, " + MirrorRuns.files(out).size()
                    + " files saved, all inside the copy");
        }
    }

    /** Every entry below root is a plain file or folder whose real path lies below root's. */
    static void assertAllInside(File root) throws IOException {
        Path real = root.toPath().toRealPath();
        try (Stream<Path> s = Files.walk(root.toPath())) {
            for (Path p : (Iterable<Path>) s::iterator) {
                assertFalse(Files.isSymbolicLink(p), p.toString());
                assertTrue(p.toRealPath().startsWith(real), p.toString());
            }
        }
    }

    /** The local name of any URL, however it is made up, lies below the root. */
    @Test
    void localNamesOfHostileUrlsLieBelowTheRoot() throws Exception {
        File root = Jvm.tempDir("names");
        String[] parts = {"..", ".", "%2e", "%2E%2e", "%2f", "%5c", "\\", "/", "%00", "\u0000", "x", "..%2f", "%252e",
            "%c0%ae", "~", " ", "%20", "?", "#", "^", ":", "C:", "con", "x7fenwix.htm", "\u00e9", "\ud83d\ude00", "*",
            "%", "%%", "+", ";", "=", "&", "'", "\"", "<", ">", "|"};
        String[] hosts = {"h.test", "..", ".", "%2e%2e", "...", "a..b", "_", "H.TEST:8080", "127.0.0.1:1", "[::1]",
            "user:pw@h.test", "h.test:", "xn--e1a.test"};
        Random r = new Random(20240616L);
        int tried = 0;
        for (int i = 0; i < 6_000; i++) {
            StringBuilder b = new StringBuilder("http://").append(hosts[r.nextInt(hosts.length)]).append('/');
            int n = r.nextInt(12);
            for (int k = 0; k < n; k++) b.append(parts[r.nextInt(parts.length)]);
            URL url;
            try {
                url = new URL(b.toString());
            } catch (MalformedURLException e) {
                continue;
            }
            tried++;
            File f = LocalNames.localFile(root, url);
            Path p = f.toPath().normalize();
            assertTrue(p.startsWith(root.toPath()) && !p.equals(root.toPath()), url + " -> " + f);
            assertTrue(SavedLinks.inside(root, f), url + " -> " + f);
            // no part of the name is a climb
            for (Path seg : root.toPath().relativize(f.toPath())) {
                assertFalse(seg.toString().equals("..") || seg.toString().equals("."), url + " -> " + f);
            }
        }
        assertTrue(tried > 4_500, "most of the URLs could be made: " + tried);
        System.out.println("local names: " + tried + " hostile URLs, every name below the root");
    }
}
