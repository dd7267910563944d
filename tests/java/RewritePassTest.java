import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.Arrays;
import java.util.List;

import org.junit.jupiter.api.Test;

/**
 * The rewrite pass of an update: a document rewritten before and unchanged is
 * left alone unless something it names changed, and whatever an earlier run
 * left unrewritten ends as an unbroken run would have written it.
 */
class RewritePassTest {
    @Test
    void anUnchangedDocumentIsRewrittenWhenWhatItNamesByAddressIsSavedNow() throws Exception {
        File work = Jvm.tempDir("rewrite-address");
        File www = new File(work, "www");
        write(www, "index.html", "<link rel=stylesheet href=s.css><a href=a.html>a</a> <a href=b.html>b</a>");
        write(www, "a.html", "<a href=c.html>c</a> <a href=b.html>b</a>");
        write(www, "b.html", "<p>names nothing</p>");
        write(www, "s.css", "p { background: url(/img/p.png) }\n");
        File out = new File(work, "copy");
        try (Nginx web = Nginx.start(www)) {
            String[] args = {web.url("/index.html").toString(), out.getPath()};
            MirrorRuns.mirror(args).ok();
            File site = new File(out, "127.0.0.1 " + web.port());
            // c.html and p.png were missing: their links name them by web address
            assertTrue(read(new File(site, "a.html")).contains(web.url("/c.html").toString()));
            assertTrue(read(new File(site, "s.css")).contains("url(" + web.url("/img/p.png") + ")"));

            write(www, "c.html", "<p>c</p>");
            write(www, "img/p.png", "png");
            Jvm.Result update = MirrorRuns.mirror(args).ok();
            assertEquals(4, MirrorRuns.count(update.out, "not modified (304)"), update.out);
            assertTrue(update.out.contains("links rewritten:    2 in 2 pages"), update.out);
            assertEquals(List.of("c.html", "b.html"), MirrorRuns.links(new File(site, "a.html")));
            assertEquals("p { background: url(img/p.png) }\n", read(new File(site, "s.css")));
        }
    }

    /** A link to a page that was not saved gets its web address with its own fragment, not another link's. */
    @Test
    void aWebAddressKeepsItsOwnLinksFragment() throws Exception {
        File work = Jvm.tempDir("rewrite-fragment");
        File www = new File(work, "www");
        write(www, "index.html", "<a href=gone.html#first>g</a> <iframe src=gone.html></iframe>"
                + " <iframe src=gone.html#second></iframe>");
        File out = new File(work, "copy");
        try (Nginx web = Nginx.start(www)) {
            MirrorRuns.mirror(web.url("/index.html").toString(), out.getPath()).ok();
            String page = read(new File(out, "127.0.0.1 " + web.port() + "/index.html"));
            String gone = web.url("/gone.html").toString();
            assertTrue(page.contains("<a href=\"" + gone + "#first\">"), page);
            assertTrue(page.contains("<iframe src=" + gone + "></iframe>"), page);
            assertTrue(page.contains("<iframe src=" + gone + "#second></iframe>"), page);
        }
    }

    /**
     * A run stopped before or during its pass leaves pages unrewritten, noted
     * as pending, and stylesheets unrewritten with no note: here half the
     * pages as the pass wrote them, the rest and the stylesheet as the server
     * sent them, and no link records, as a run killed then leaves them.
     */
    @Test
    void whatAStoppedPassLeftIsRewrittenByTheNextRunAsAnUnbrokenRunWritesIt() throws Exception {
        File work = Jvm.tempDir("rewrite-pending");
        File www = new File(work, "www");
        write(www, "index.html", "<link rel=stylesheet href=css/s.css><a href=/a.html>a</a> <a href=/b.html>b</a>");
        write(www, "a.html", "<a href=/index.html>home</a> <img src=/css/i.png>");
        write(www, "b.html", "<a href=\"" + "/a.html\">a</a>");
        write(www, "css/s.css", "p { background: url(/css/i.png) }\n");
        write(www, "css/i.png", "png");
        File whole = new File(work, "whole");
        File stopped = new File(work, "stopped");
        try (Nginx web = Nginx.start(www)) {
            MirrorRuns.mirror(web.url("/index.html").toString(), whole.getPath()).ok();
            String site = "127.0.0.1 " + web.port();
            copyTree(whole, stopped);
            new File(stopped, ".x7fenwix-links").delete();
            StringBuilder pending = new StringBuilder();
            for (String raw : List.of("index.html", "b.html", "css/s.css")) {
                File saved = new File(stopped, site + "/" + raw);
                File served = new File(www, raw);
                Files.copy(served.toPath(), saved.toPath(), java.nio.file.StandardCopyOption.REPLACE_EXISTING);
                saved.setLastModified(served.lastModified());
            }
            for (String page : List.of("index.html", "a.html", "b.html")) {
                pending.append(new File(stopped, site + "/" + page).getCanonicalPath()).append('\n');
            }
            Files.writeString(new File(stopped, ".x7fenwix-unrewritten").toPath(), pending);
            // killed during a write
            File leftover = new File(stopped, site + "/.a.html.x7fenwix-tmp");
            Files.writeString(leftover.toPath(), "<a href=/ind");

            Jvm.Result next = MirrorRuns.mirror(web.url("/index.html").toString(), stopped.getPath()).ok();
            assertEquals(5, MirrorRuns.count(next.out, "not modified (304)"), next.out);
            for (String f : List.of("index.html", "a.html", "b.html", "css/s.css")) {
                assertArrayEquals(Files.readAllBytes(new File(whole, site + "/" + f).toPath()),
                        Files.readAllBytes(new File(stopped, site + "/" + f).toPath()), f);
            }
            assertFalse(new File(stopped, ".x7fenwix-unrewritten").exists(), "nothing left pending");
            assertFalse(leftover.exists());
        }
    }

    /**
     * A file an unchanged page links to moves into the folder of its name
     * (FolderClash), or an index page's copy goes as the folder's page is
     * found (FolderPages): the unchanged page's links follow.
     */
    @Test
    void linksOfUnchangedPagesFollowFilesThatMoveOrGo() throws Exception {
        File work = Jvm.tempDir("rewrite-gone");
        File www = new File(work, "www");
        write(www, "index.html", "<a href=b>b</a> <a href=other.html>o</a> <a href=dir/index.html>d</a>");
        write(www, "other.html", "<a href=b>b</a> <img src=/b> <a href=dir/index.html>d</a>");
        write(www, "b", "<p>b</p>");
        write(www, "dir/index.html", "<p>dir</p>");
        File out = new File(work, "copy");
        try (Nginx web = Nginx.start(www)) {
            String[] args = {web.url("/index.html").toString(), out.getPath()};
            MirrorRuns.mirror(args).ok();
            File site = new File(out, "127.0.0.1 " + web.port());
            assertEquals("<html><body><a href=b>b</a> <img src=\"b\"> <a href=dir/index.html>d</a></body></html>\n",
                    read(new File(site, "other.html")));

            // b becomes a folder with pages in it: the file b moves into it
            new File(www, "b").delete();
            write(www, "b/index.html", "<p>b</p>");
            write(www, "b/c.html", "<p>c</p>");
            change(new File(www, "index.html"), "<a href=b>b</a> <a href=other.html>o</a> <a href=b/c.html>c</a>");
            MirrorRuns.mirror(args).ok();
            assertTrue(new File(site, "b/" + FolderClash.FILE_NAME).isFile());
            linksLeadToFiles(new File(site, "other.html"));

            // the folder dir/ is linked now: the copy of dir/index.html goes
            change(new File(www, "index.html"), "<a href=b>b</a> <a href=other.html>o</a> <a href=dir/>d</a>");
            MirrorRuns.mirror(args).ok();
            assertFalse(new File(site, "dir/index.html").exists(), "the folder's page is saved once");
            linksLeadToFiles(new File(site, "other.html"));
        }
    }

    /**
     * Updates stopped before their passes: one after it saved a page that an
     * unchanged page names by web address, one after a file moved into the
     * folder of its name. The run after each, which saves and moves nothing,
     * still points the unchanged pages at them.
     */
    @Test
    void whatAStoppedUpdateSavedOrMovedIsFollowedByTheNextRunsPass() throws Exception {
        File work = Jvm.tempDir("rewrite-stopped-update");
        File www = new File(work, "www");
        String links = "<a href=b>b</a> <a href=other.html>o</a> <a href=a.html>a</a>";
        write(www, "index.html", links);
        write(www, "other.html", "<a href=b>b</a> <img src=/b>");
        write(www, "a.html", "<a href=c.html>c</a>");
        write(www, "b", "<p>b</p>");
        File out = new File(work, "copy");
        try (Nginx web = Nginx.with(www).slow("/slow/", 20_000).start()) {
            String[] args = {web.url("/index.html").toString(), out.getPath()};
            MirrorRuns.mirror(args).ok();
            File site = new File(out, "127.0.0.1 " + web.port());
            assertEquals(List.of(web.url("/c.html").toString()), MirrorRuns.links(new File(site, "a.html")));

            write(www, "c.html", "<p>c</p>");
            stoppedUpdate(www, args, out, links, "c.html");
            assertEquals(List.of("c.html"), MirrorRuns.links(new File(site, "a.html")));

            new File(www, "b").delete();
            write(www, "b/index.html", "<p>b</p>");
            write(www, "b/c.html", "<p>c</p>");
            stoppedUpdate(www, args, out, links + " <a href=b/c.html>c</a>", "Moved under its folder:");
            linksLeadToFiles(new File(site, "other.html"));
        }
    }

    /**
     * An update whose start page links to the page links, and to a slow file
     * that holds the crawl; stopped once the log or the pending notes hold
     * seen, before its pass. Then an update in which the slow file is gone:
     * one that saves nothing.
     */
    private static void stoppedUpdate(File www, String[] args, File out, String links, String seen) throws Exception {
        File slow = new File(www, "slow/big.bin");
        slow.getParentFile().mkdirs();
        Files.write(slow.toPath(), new byte[400_000]);
        change(new File(www, "index.html"), links + " <a href=slow/big.bin>big</a>");
        File log = new File(out, OutFiles.LOG_NAME);
        File pending = new File(out, OutFiles.PENDING_NAME);
        int earlier = Files.readString(log.toPath()).length();
        MirrorRuns.Running update = new MirrorRuns.Running(args);
        long until = System.nanoTime() + 30_000_000_000L;
        while (!(Files.readString(log.toPath()).substring(earlier).contains(seen)
                || pending.isFile() && Files.readString(pending.toPath()).contains(seen))) {
            assertTrue(System.nanoTime() < until, Files.readString(log.toPath()));
            Thread.sleep(20);
        }
        String stopped = update.stop();
        assertTrue(stopped.contains("stopped"), stopped);
        assertTrue(slow.delete());
        Jvm.Result next = MirrorRuns.mirror(args);
        assertEquals(0, MirrorRuns.count(next.out, "pages saved") + MirrorRuns.count(next.out, "files saved"), next.out);
    }

    private static void linksLeadToFiles(File page) throws IOException {
        for (String link : MirrorRuns.links(page)) {
            assertTrue(new File(page.getParentFile(), link).isFile(), link + " in " + read(page));
        }
    }

    /** A page changed on the server, its time two seconds on, once the clock is past that. */
    private static void change(File f, String body) throws Exception {
        long later = f.lastModified() + 2000;
        write(f.getParentFile(), f.getName(), body);
        f.setLastModified(later);
        Thread.sleep(Math.max(0, later + 1000 - System.currentTimeMillis()));
    }

    /** A page of megabytes without a tag passes the pass in a heap that could not hold its tree. */
    @Test
    void aLargePageWithoutTagsNeedsNoTreeOfIt() throws Exception {
        File work = Jvm.tempDir("rewrite-large");
        File www = new File(work, "www");
        write(www, "index.html", "<a href=big.html>big</a>");
        String line = "plain words of a page without any tag in it, line after line 0123456789\n";
        Files.writeString(new File(www, "big.html").toPath(), line.repeat((8 << 20) / line.length()));
        File out = new File(work, "copy");
        try (Nginx web = Nginx.start(www)) {
            String[] args = {web.url("/index.html").toString(), out.getPath()};
            // 32 MB: the 8 MB page and its scans fit, a tree of it (some 100 MB) does not
            for (int run = 0; run < 2; run++) {
                Jvm.Result r = Jvm.runWithOptions(List.of("-Xmx32m"), "Mirror", args);
                MirrorRuns.noJniWarning(r.out);
                assertFalse(r.out.contains("OutOfMemoryError"), r.out);
                assertEquals(0, r.exit, r.out);
                assertEquals(2, MirrorRuns.count(r.out, run == 0 ? "pages saved" : "not modified (304)"), r.out);
            }
        }
    }

    private static String read(File f) throws IOException {
        return Files.readString(f.toPath(), StandardCharsets.ISO_8859_1);
    }

    /**
     * Pages are written back on threads of their own: one that cannot be
     * written (its temporary file's name is taken by a folder) is logged and
     * left pending while the others are written, and the next run writes it
     * as an unbroken run would have.
     */
    @Test
    void aPageThatCannotBeWrittenBackStaysPendingForTheNextRun() throws Exception {
        File work = Jvm.tempDir("rewrite-write-fails");
        File www = new File(work, "www");
        int pages = 40;
        for (int i = 0; i < pages; i++) {
            write(www, "p" + i + ".html", "<a href=/p" + (i + 1) % pages + ".html>next</a> <img src=/i.png>");
        }
        write(www, "i.png", "png");
        File whole = new File(work, "whole");
        File blocked = new File(work, "blocked");
        try (Nginx web = Nginx.start(www)) {
            String site = "127.0.0.1 " + web.port();
            MirrorRuns.mirror(web.url("/p0.html").toString(), whole.getPath()).ok();
            File stuck = new File(blocked, site + "/.p7.html.x7fenwix-tmp");
            // not empty, so that nothing takes it for a temporary file of its own
            assertTrue(new File(stuck, "keep").mkdirs());
            Jvm.Result first = MirrorRuns.mirror(web.url("/p0.html").toString(), blocked.getPath());
            String log = Files.readString(new File(blocked, OutFiles.LOG_NAME).toPath());
            assertTrue(log.contains(site + "/p7.html ("), log);
            assertEquals(1, log.split("Error rewriting file:", -1).length - 1, log);
            List<String> pending = Files.readAllLines(new File(blocked, OutFiles.PENDING_NAME).toPath());
            assertEquals(1, pending.size(), pending.toString());
            assertTrue(pending.get(0).endsWith("p7.html"), pending.toString());
            for (int i = 0; i < pages; i++) {
                String f = site + "/p" + i + ".html";
                boolean same = Arrays.equals(Files.readAllBytes(new File(whole, f).toPath()),
                        Files.readAllBytes(new File(blocked, f).toPath()));
                assertEquals(i != 7, same, f + "\n" + first.out);
            }

            assertTrue(new File(stuck, "keep").delete() && stuck.delete());
            MirrorRuns.mirror(web.url("/p0.html").toString(), blocked.getPath()).ok();
            assertEquals(MirrorRuns.snapshot(new File(whole, site)), MirrorRuns.snapshot(new File(blocked, site)));
            assertFalse(new File(blocked, OutFiles.PENDING_NAME).exists(), "nothing left pending");
        }
    }

    private static void write(File dir, String name, String body) throws IOException {
        File f = new File(dir, name);
        f.getParentFile().mkdirs();
        String text = name.endsWith(".css") || name.endsWith(".png") ? body
                : "<html><body>" + body + "</body></html>\n";
        Files.writeString(f.toPath(), text, StandardCharsets.ISO_8859_1);
    }

    private static void copyTree(File from, File to) throws IOException {
        try (var paths = Files.walk(from.toPath())) {
            for (java.nio.file.Path p : (Iterable<java.nio.file.Path>) paths::iterator) {
                java.nio.file.Path t = to.toPath().resolve(from.toPath().relativize(p));
                if (Files.isDirectory(p)) Files.createDirectories(t);
                else Files.copy(p, t, java.nio.file.StandardCopyOption.COPY_ATTRIBUTES);
            }
        }
    }
}
