import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.File;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;

import org.junit.jupiter.api.Test;

/** "/b" as a page and "/b/c.html" beside it: both kept, whichever comes first, and updates stay quiet. */
class FolderClashTest {
    static final String DATE = "Fri, 14 Jul 2017 02:40:00 GMT";

    static byte[] page(String body) {
        return ScriptedServer.answer("200 OK", ("<html><body>" + body + "</body></html>").getBytes(StandardCharsets.UTF_8),
                "Content-Type: text/html", "Last-Modified: " + DATE);
    }

    static ScriptedServer site(String startLinks) throws Exception {
        return new ScriptedServer(r -> {
            String ims = r.header("If-Modified-Since");
            if (ims != null && !ims.isEmpty()) return ScriptedServer.answer("304 Not Modified", new byte[0]);
            switch (r.target) {
                case "/": return page(startLinks);
                case "/b": return page("B page <a href=\"b/c.html\">c</a>");
                case "/b/c.html": return page("C page <a href=\"../b\">back</a>");
                default: return ScriptedServer.answer("404 Not Found", new byte[0]);
            }
        });
    }

    static void mirrorsBoth(String startLinks) throws Exception {
        try (ScriptedServer server = site(startLinks)) {
            File out = Jvm.tempDir("folder-clash");
            String url = server.url("/").toString();
            Jvm.Result first = MirrorRuns.mirror(url, out.getPath());
            assertEquals(0, first.exit, first.out);
            File part = new File(out, "127.0.0.1 " + server.url("/").getPort());
            String b = Files.readString(new File(part, "b/" + FolderClash.FILE_NAME).toPath());
            String c = Files.readString(new File(part, "b/c.html").toPath());
            assertTrue(b.contains("B page") && c.contains("C page"), first.out);
            assertTrue(c.contains("href=\"" + FolderClash.FILE_NAME + "\""), "the link back names the file: " + c);
            Jvm.Result update = MirrorRuns.mirror(url, out.getPath());
            assertEquals(0, update.exit, update.out);
            assertEquals(3, MirrorRuns.count(update.out, "not modified (304)"), update.out);
            assertEquals(0, MirrorRuns.count(update.out, "errors"), update.out);
        }
    }

    @Test
    void fileFirstThenItsFolder() throws Exception {
        mirrorsBoth("<a href=\"b\">b</a> <a href=\"b/c.html\">c</a>");
    }

    @Test
    void folderFirstThenTheFile() throws Exception {
        mirrorsBoth("<a href=\"b/c.html\">c</a> <a href=\"b\">b</a>");
    }

    /**
     * Files saved by one run that the next run needs as folders, each for
     * several pages at once: the file moves into its folder once, whichever
     * of the requests running side by side makes the room.
     */
    @Test
    void filesThatBecomeFoldersOfSeveralPagesAtOnceMoveOnce() throws Exception {
        int files = 30;
        int children = 6;
        boolean[] folders = {false};
        try (ScriptedServer server = new ScriptedServer(r -> {
            String t = r.target;
            if (t.equals("/")) {
                StringBuilder links = new StringBuilder();
                for (int i = 0; i < files; i++) {
                    links.append("<a href=\"f").append(i).append("\">f</a>");
                    for (int k = 0; folders[0] && k < children; k++) {
                        links.append("<a href=\"f").append(i).append("/p").append(k).append(".html\">p</a>");
                    }
                }
                // changed for the update, a day later
                return ScriptedServer.answer("200 OK", ("<html><body>" + links + "</body></html>").getBytes(
                        StandardCharsets.UTF_8), "Content-Type: text/html",
                        "Last-Modified: " + (folders[0] ? "Sat, 15 Jul 2017 02:40:00 GMT" : DATE));
            }
            if (t.matches("/f\\d+")) return page("file " + t);
            if (folders[0] && t.matches("/f\\d+/p\\d\\.html")) return page("page " + t);
            return ScriptedServer.answer("404 Not Found", new byte[0]);
        })) {
            File out = Jvm.tempDir("folder-clash-many");
            String url = server.url("/").toString();
            assertEquals(0, MirrorRuns.mirror(url, out.getPath()).exit);
            folders[0] = true;
            Jvm.Result update = MirrorRuns.mirror(url, out.getPath(), "--max-threads", "4");
            assertEquals(0, update.exit, update.out);
            File part = new File(out, "127.0.0.1 " + server.url("/").getPort());
            for (int i = 0; i < files; i++) {
                File moved = new File(part, "f" + i + "/" + FolderClash.FILE_NAME);
                assertTrue(moved.isFile(), moved + " is a file: " + update.out);
                assertTrue(Files.readString(moved.toPath()).contains("file /f" + i), moved.getPath());
                for (int k = 0; k < children; k++) assertTrue(new File(part, "f" + i + "/p" + k + ".html").isFile());
            }
        }
    }
}
