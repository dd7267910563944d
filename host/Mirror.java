import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStreamWriter;
import java.io.PrintStream;
import java.io.Writer;
import java.net.BindException;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.net.MalformedURLException;
import java.net.Socket;
import java.net.URL;
import java.net.UnknownHostException;
import java.nio.channels.FileChannel;
import java.nio.channels.FileLock;
import java.nio.channels.OverlappingFileLockException;
import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.StandardOpenOption;
import java.util.HashSet;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Locale;
import java.util.Set;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;

/**
 * Mirrors a web site into a folder for offline reading, or updates a mirror
 * made before. Run without a URL, it serves the bundled sample site on
 * 127.0.0.1 and mirrors that.
 */
public final class Mirror {
    static final String LOG_NAME = "x7fenwix.log";
    static final String INFLIGHT_NAME = ".x7fenwix-inflight";
    static final String LOCK_NAME = ".x7fenwix-lock";
    /** Pages saved but not yet rewritten, one path a line: a run stopped before its rewrite pass leaves them. */
    static final String PENDING_NAME = ".x7fenwix-unrewritten";
    static final int DEFAULT_PORT = 8765;
    /** Threads that scan pages beside the crawl at most: a tree in memory per thread. */
    static final int MAX_SCAN_THREADS = 4;

    static final String HELP = String.join("\n",
            "Usage: Mirror [URL] [OUT] [options]",
            "",
            "Copies the web site at URL into the folder OUT so that it can be read",
            "offline, with its links pointing at the saved files. Run it again with",
            "the same URL and OUT to update the copy: pages the server reports as",
            "unchanged are not transferred again, and a run that was interrupted goes",
            "on where it stopped.",
            "",
            "  URL          the start page, http:// or https://. Without it (or with -",
            "               in its place), the bundled sample site is served on",
            "               127.0.0.1 and mirrored.",
            "  OUT          the folder for the copy (default: ./mirror-out). Each site",
            "               part (host and port) gets a folder of its own in it.",
            "  --depth N    follow links at most N pages deep from the start page",
            "               (default: no limit). Images, frames and style sheets of a",
            "               page always come with it.",
            "  --allow HOST[:PORT]",
            "               follow links to this site part too; may be given more than",
            "               once. Links to other site parts keep their web address.",
            "  --port N     port of the sample site (default " + DEFAULT_PORT + "; its second",
            "               part answers on N+1). Only without URL.",
            "  --help       this text.",
            "",
            "Errors are logged to OUT/" + LOG_NAME + ".",
            "Exit code: 0 the copy is complete; 1 nothing was done (bad arguments, OUT",
            "not usable, site not reachable); 2 the copy was made but something failed",
            "(see the log). Pages the site does not have (404) are counted, not failed.",
            "");

    /** Thrown for input that the user has to correct; the message says what. */
    static final class Usage extends Exception {
        Usage(String message) {
            super(message);
        }
    }

    // Settings.
    URL start;
    File out = new File("mirror-out");
    int depth = Integer.MAX_VALUE;
    int port = DEFAULT_PORT;
    boolean portGiven;
    final Set<String> allowed = new LinkedHashSet<>();

    // Counters of the run.
    int pages, files, notModified, resumed, notFound, errors;
    volatile int done, known;

    private final PrintStream con = System.out;
    private UrlLoad crawler;
    private PageTrees trees;
    private Writer log;
    private final Set<String> seen = new HashSet<>();
    /** The notes of the file in flight and of the pages not yet rewritten, open while the crawl runs. */
    private FileChannel inflight;
    private FileChannel unrewritten;
    private int scanned;
    private volatile boolean interrupted;
    private final CountDownLatch finished = new CountDownLatch(1);

    /**
     * Stack of the threads that read pages: each nesting level of a page costs
     * a native and a Java frame, and the default stack ends a page of a few
     * hundred unclosed anchors. Reserved, not committed, so it costs nothing
     * until a page needs it; smaller where a 32-bit address space is tight.
     */
    static final long PAGE_STACK = "32".equals(System.getProperty("sun.arch.data.model")) ? 64L << 20 : 512L << 20;

    public static void main(String[] args) throws InterruptedException {
        Mirror m = new Mirror();
        int[] result = {2};  // stays 2 if the run dies of an unexpected error
        Thread worker = new Thread(null, () -> result[0] = runMain(m, args), "mirror", PAGE_STACK);
        worker.start();
        worker.join();
        int code = result[0];
        // Output first: once the stop hook hears of the end, the JVM may halt.
        System.out.flush();
        System.err.flush();
        m.finished.countDown();
        if (!m.interrupted) System.exit(code);
    }

    private static int runMain(Mirror m, String[] args) {
        int code;
        try {
            code = m.run(args);
        } catch (Usage e) {
            System.err.println("mirror: " + e.getMessage());
            System.err.println("Try: Mirror --help");
            code = 1;
        } catch (IOException e) {
            System.err.println("mirror: " + e.getMessage());
            code = 2;
        } catch (UnsatisfiedLinkError e) {
            System.err.println("mirror: cannot load the native library x7fenwix (" + e.getMessage()
                    + "); give its folder with -Djava.library.path=...");
            code = 1;
        }
        return code;
    }

    /** Parses the arguments; false when only the help was asked for. */
    boolean parse(String[] args) throws Usage {
        String url = null;
        String folder = null;
        for (int i = 0; i < args.length; i++) {
            String a = args[i];
            switch (a) {
                case "--help":
                case "-h":
                    return false;
                case "--depth":
                    depth = number(a, value(args, ++i, a));
                    break;
                case "--port":
                    port = number(a, value(args, ++i, a));
                    if (port < 1 || port > 65534) throw new Usage("--port wants a port from 1 to 65534, not " + port);
                    portGiven = true;
                    break;
                case "--allow":
                    allowed.add(site(value(args, ++i, a)));
                    break;
                default:
                    if (a.startsWith("-") && a.length() > 1) throw new Usage("unknown option " + a);
                    if (url == null) url = a;
                    else if (folder == null) folder = a;
                    else throw new Usage("too many arguments: " + a);
            }
        }
        if (url != null && !url.equals("-")) start = startUrl(url);
        if (start != null && portGiven) throw new Usage("--port is for the sample site, which runs only without URL");
        if (folder != null) out = new File(folder);
        return true;
    }

    private static String value(String[] args, int i, String option) throws Usage {
        if (i >= args.length) throw new Usage(option + " wants a value");
        return args[i];
    }

    private static int number(String option, String v) throws Usage {
        try {
            int n = Integer.parseInt(v);
            if (n < 0) throw new NumberFormatException();
            return n;
        } catch (NumberFormatException e) {
            throw new Usage(option + " wants a number of 0 or more, not '" + v + "'");
        }
    }

    static URL startUrl(String s) throws Usage {
        URL u;
        try {
            u = new URL(s);
        } catch (MalformedURLException e) {
            if (s.matches("[A-Za-z0-9.-]+\\.[A-Za-z0-9.-]+(:\\d+)?(/\\S*)?")) {
                throw new Usage("not a URL: '" + s + "' (did you mean http://" + s + " ?)");
            }
            throw new Usage("not a URL: '" + s + "' (" + e.getMessage() + ")");
        }
        String p = u.getProtocol().toLowerCase(Locale.ROOT);
        if (!p.equals("http") && !p.equals("https")) {
            throw new Usage("only http:// and https:// URLs can be mirrored, not '" + s + "'");
        }
        if (u.getHost() == null || u.getHost().isEmpty()) throw new Usage("the URL names no host: '" + s + "'");
        try {
            if (u.getPath().isEmpty()) u = new URL(u, "/");
            return SavedLinks.requestable(u);
        } catch (MalformedURLException e) {
            throw new Usage("not a URL: '" + s + "' (" + e.getMessage() + ")");
        }
    }

    /** "host:port" of a URL or of an --allow value, the port made explicit. */
    static String site(URL u) {
        int p = u.getPort() == -1 ? u.getDefaultPort() : u.getPort();
        return u.getHost().toLowerCase(Locale.ROOT) + ":" + p;
    }

    private static String site(String hostPort) throws Usage {
        String s = hostPort.contains("://") ? hostPort : "http://" + hostPort;
        try {
            URL u = new URL(s);
            if (u.getHost().isEmpty()) throw new MalformedURLException("no host");
            return site(u);
        } catch (MalformedURLException e) {
            throw new Usage("--allow wants HOST or HOST:PORT, not '" + hostPort + "'");
        }
    }

    int run(String[] args) throws Usage, IOException {
        if (!parse(args)) {
            con.print(HELP);
            return 0;
        }
        if (start != null) {
            checkReachable(start);
            URL moved = afterRedirects(start);
            if (!moved.equals(start)) con.println("The start page has moved to " + moved);
            start = moved;
        }
        prepareOut();
        SampleSite sample = null;
        if (start == null) {
            try {
                sample = SampleSite.start(port);
            } catch (BindException e) {
                throw new Usage("the sample site cannot listen on 127.0.0.1 port " + port + " or " + (port + 1)
                        + " (" + e.getMessage() + "); choose others with --port N");
            }
            start = new URL(sample.mainUrl());
            allowed.add(site(new URL(sample.secondUrl())));
            con.println("Serving the sample site at " + sample.mainUrl() + " and " + sample.secondUrl());
        }
        allowed.add(site(start));
        try (FileChannel lockChannel = FileChannel.open(new File(out, LOCK_NAME).toPath(), StandardOpenOption.CREATE,
                StandardOpenOption.WRITE)) {
            FileLock lock;
            try {
                lock = lockChannel.tryLock();
            } catch (OverlappingFileLockException e) {
                lock = null;
            }
            if (lock == null) throw new Usage("another mirror is running in " + out);
            return mirror();
        } finally {
            if (sample != null) sample.close();
        }
    }

    /** OUT must be a folder that can be written, made when missing. */
    private void prepareOut() throws Usage {
        if (out.exists() && !out.isDirectory()) throw new Usage("OUT is not a folder: " + out);
        if (!out.isDirectory() && !out.mkdirs()) throw new Usage("cannot make the folder " + out);
        try {
            File probe = File.createTempFile(".x7fenwix-probe", null, out);
            if (!probe.delete()) throw new IOException("cannot delete " + probe);
        } catch (IOException | SecurityException e) {
            throw new Usage("cannot write in " + out + " (" + e.getMessage() + ")");
        }
        try {
            out = out.getCanonicalFile();
        } catch (IOException e) {
            out = out.getAbsoluteFile();
        }
    }

    private static void checkReachable(URL u) throws Usage {
        InetAddress addr;
        try {
            addr = InetAddress.getByName(u.getHost());
        } catch (UnknownHostException e) {
            throw new Usage("unknown host " + u.getHost());
        }
        int p = u.getPort() == -1 ? u.getDefaultPort() : u.getPort();
        try (Socket s = new Socket()) {
            s.connect(new InetSocketAddress(addr, p), 10_000);
        } catch (IOException e) {
            throw new Usage("cannot reach " + u.getHost() + ":" + p + " (" + e.getMessage() + ")");
        }
    }

    /**
     * Where the start URL leads once the server's redirects are followed
     * ("/docs" to "/docs/"): its page is saved and its links resolved there,
     * as a browser would. Any failure leaves the URL as it is; the crawl
     * reports it.
     */
    static URL afterRedirects(URL u) {
        for (int hops = 0; hops < 5; hops++) {
            try {
                java.net.HttpURLConnection c = (java.net.HttpURLConnection) u.openConnection();
                c.setInstanceFollowRedirects(false);
                c.setRequestMethod("HEAD");
                c.setConnectTimeout(20_000);
                c.setReadTimeout(60_000);
                int code = c.getResponseCode();
                String location = c.getHeaderField("Location");
                c.disconnect();
                if (code < 300 || code > 399 || location == null) return u;
                URL next = new URL(u, location);
                String p = next.getProtocol().toLowerCase(Locale.ROOT);
                if (!p.equals("http") && !p.equals("https") || next.getHost().isEmpty()) return u;
                u = SavedLinks.requestable(next);
            } catch (IOException | ClassCastException | IllegalArgumentException e) {
                return u;
            }
        }
        return u;
    }

    private int mirror() throws IOException {
        long t0 = System.nanoTime();
        File logFile = new File(out, LOG_NAME);
        log = new OutputStreamWriter(new FileOutputStream(logFile, true), StandardCharsets.UTF_8);
        log("# " + new java.util.Date() + " mirror " + start + " into " + out
                + (depth == Integer.MAX_VALUE ? "" : " depth " + depth) + "\n");
        crawler = new UrlLoad(out);
        crawler.setLogSink(this::log);
        recoverInflight();
        LinkRecords records = LinkRecords.load(out);
        crawler.setLinkRecords(records);

        Thread hook = new Thread(this::stop, "mirror-stop");
        Runtime.getRuntime().addShutdownHook(hook);
        Progress progress = new Progress(this, con);
        con.println("Mirroring " + start + " into " + out);
        NodeURL first = crawler.addStart(start);
        progress.start();
        // the trees of the pages saved now serve the rewrite pass too
        trees = PageTrees.forThisHeap();
        crawler.setTreeSink((page, tree) -> {
            if (!page.isPreviouslyDownloaded()) trees.offer(page.getLoadedFilename(), tree, Charset.defaultCharset());
        });
        // pages are scanned beside the crawl where a second processor can run them
        int processors = Runtime.getRuntime().availableProcessors();
        PageScans scans = processors < 2 ? null : PageScans.start(crawler, Math.min(processors, MAX_SCAN_THREADS));
        crawler.setPageScans(scans);
        // Both notes stay open through the crawl: a file opened per request
        // cost more than the request on an update.
        try (FileChannel note = FileChannel.open(new File(out, INFLIGHT_NAME).toPath(), StandardOpenOption.CREATE,
                StandardOpenOption.WRITE);
             FileChannel saved = FileChannel.open(new File(out, PENDING_NAME).toPath(), StandardOpenOption.CREATE,
                     StandardOpenOption.WRITE, StandardOpenOption.APPEND)) {
            inflight = note;
            unrewritten = saved;
            crawler.crawl(this::accept, this::done);
        } finally {
            inflight = null;
            unrewritten = null;
            progress.stop();
            if (scans != null) scans.stop();
        }
        new File(out, INFLIGHT_NAME).delete();

        LinkRewrite rw = null;
        if (!crawler.aborted) {
            rw = new LinkRewrite(crawler, trees);
            rw.run(pendingRewrites());
            records.rewritten(rw.written);
            File pending = new File(out, PENDING_NAME);
            if (crawler.aborted) {
                // stopped during the pass: every page noted stays pending
            } else if (rw.retry.isEmpty()) {
                pending.delete();
            } else {
                Files.write(pending.toPath(), rw.retry, StandardCharsets.UTF_8);
            }
        }
        try {
            records.save();
        } catch (IOException e) {
            // the next update scans the pages again
            log("Error writing file:" + new File(out, LinkRecords.FILE_NAME) + "\n");
        }
        double seconds = (System.nanoTime() - t0) / 1e9;
        int failed = errors + (rw == null ? 0 : rw.pagesLeft);
        con.println();
        con.println(crawler.aborted ? "Interrupted; run the same command again to go on." : "Done.");
        con.println("  pages saved:        " + pages);
        con.println("  files saved:        " + files);
        con.println("  bytes transferred:  " + crawler.totalReadLength);
        con.println("  not modified (304): " + notModified);
        con.println("  resumed:            " + resumed);
        con.println("  not found:          " + notFound);
        con.println("  errors:             " + failed);
        if (rw != null) {
            con.println("  links rewritten:    " + rw.linksRewritten + " in " + rw.pagesRewritten + " pages");
        }
        con.printf(Locale.ROOT, "  time:               %.1f s%n", seconds);
        boolean startSaved = first.isLoaded() && first.getLoadedFilename() != null;
        if (startSaved) con.println("Open the offline copy: " + new File(first.getLoadedFilename()).toPath().toUri());
        else con.println("The start page could not be saved.");
        if (failed > 0 || !startSaved) con.println("See the log: " + logFile);
        log("# " + (crawler.aborted ? "interrupted" : "done") + " in " + String.format(Locale.ROOT, "%.1f", seconds)
                + " s: " + pages + " pages, " + files + " files, " + notModified + " not modified, " + notFound
                + " not found, " + failed + " errors; links of " + records.replayed
                + " unchanged pages taken from the last run\n");
        log.close();
        try {
            Runtime.getRuntime().removeShutdownHook(hook);
        } catch (IllegalStateException e) {
            // shutting down already: the hook is running
        }
        return failed > 0 || !startSaved ? 2 : 0;
    }

    /** Stop request (Ctrl-C, SIGTERM): the transfer in hand ends after its chunk and leaves its marker. */
    private void stop() {
        if (crawler == null || finished.getCount() == 0) return;
        interrupted = true;
        crawler.aborted = true;
        try {
            finished.await(30, TimeUnit.SECONDS);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
    }

    synchronized void log(String line) {
        try {
            log.write(line);
            log.flush();
        } catch (IOException e) {
            // the log is best effort; the summary still tells the counts
        }
    }

    /** Whether a URL lies in an allowed site part. */
    boolean inScope(URL u) {
        String p = u.getProtocol().toLowerCase(Locale.ROOT);
        return (p.equals("http") || p.equals("https")) && u.getHost() != null && allowed.contains(site(u));
    }

    private boolean accept(NodeURL node) {
        if (node.getLevel() > depth || !inScope(node.getURL())) return false;
        node.setMaxLevel(depth);
        // Until this node ends, its file is in flight: a run killed outright
        // leaves the name behind, and the next run takes that file for partial.
        try {
            inflight.truncate(0);
            write(inflight, crawler.localFileFor(node.getURL()).getPath());
        } catch (IOException | RuntimeException e) {
            // without the note only a hard kill goes unnoticed
        }
        return true;
    }

    /**
     * A run that was killed outright left a file half written and stamped with
     * the time of the kill: it gets the incomplete marker that a stopped
     * transfer leaves, so that this run asks for it again.
     */
    private void recoverInflight() {
        File note = new File(out, INFLIGHT_NAME);
        if (!note.isFile()) return;
        try {
            File f = new File(Files.readString(note.toPath(), StandardCharsets.UTF_8).trim());
            if (f.isFile() && SavedLinks.inside(out, f)) {
                new File(f.getPath() + ".INCOMPLETE").createNewFile();
                log("Marked incomplete after an interrupted run:" + f.getPath() + "\n");
            }
        } catch (IOException e) {
            // nothing to recover
        }
        note.delete();
    }

    /** Writes text (UTF-8) at the channel's position, which an appending channel keeps at its end. */
    private static void write(FileChannel note, String text) throws IOException {
        java.nio.ByteBuffer b = java.nio.ByteBuffer.wrap(text.getBytes(StandardCharsets.UTF_8));
        while (b.hasRemaining()) note.write(b);
    }

    /** The pages that an earlier run saved and did not rewrite, by normal path. */
    private Set<String> pendingRewrites() {
        Set<String> out = new HashSet<>();
        try {
            for (String line : Files.readAllLines(new File(this.out, PENDING_NAME).toPath(), StandardCharsets.UTF_8)) {
                if (!line.isEmpty()) out.add(LinkRewrite.normal(line));
            }
        } catch (IOException e) {
            // none pending
        }
        return out;
    }

    private void done(NodeURL node) {
        int code = node.getResponseCode();
        if (node.hasError()) {
            errors++;
        } else if (node.isPreviouslyDownloaded()) {
            notModified++;
        } else if (node.isLoaded()) {
            if (code == 206) resumed++;
            if (node.isHtml()) {
                pages++;
                // noted at once, so that even a run killed before its rewrite
                // pass leaves the page to the next one
                try {
                    write(unrewritten, node.getLoadedFilename() + "\n");
                } catch (IOException e) {
                    log("Error writing file:" + new File(out, PENDING_NAME) + "\n");
                }
            } else {
                files++;
            }
        } else if (node.isStopped()) {
            // interrupted: the marker is left for the next run
        } else if (node.isNotFound() || code == 404 || code == 410) {
            notFound++;
            log("Not found:" + node.getURL() + "\n");
        } else {
            errors++;
            log("HTTP " + code + ":" + node.getURL() + "\n");
        }
        done++;
        countKnown();
    }

    /** Known: the distinct URLs found so far that this crawl will fetch. */
    private void countKnown() {
        List<NodeURL> list = crawler.urlToLoad;
        for (; scanned < list.size(); scanned++) {
            NodeURL n = list.get(scanned);
            if (n.getURL() != null && n.getLevel() <= depth && inScope(n.getURL())) seen.add(UrlLoad.key(n.getURL()));
        }
        known = Math.max(seen.size(), done);
    }

    String currentUrl() {
        NodeURL n = crawler == null ? null : crawler.lURL;
        return n == null ? "" : String.valueOf(n.getURL());
    }

    long bytes() {
        return crawler == null ? 0 : crawler.totalReadLength;
    }

    /** The progress line: rewritten in place on a terminal, else printed every few seconds. */
    static final class Progress {
        private final Mirror m;
        private final PrintStream con;
        private final boolean terminal = System.console() != null;
        private Thread thread;
        private volatile boolean running;
        private int width;

        Progress(Mirror m, PrintStream con) {
            this.m = m;
            this.con = con;
        }

        void start() {
            running = true;
            thread = new Thread(() -> {
                long every = terminal ? 250 : 3000;
                while (running) {
                    try {
                        Thread.sleep(every);
                    } catch (InterruptedException e) {
                        return;
                    }
                    if (running) show();
                }
            }, "mirror-progress");
            thread.setDaemon(true);
            thread.start();
        }

        synchronized void show() {
            String line = String.format(Locale.ROOT, "%d of %d done, %s  %s", m.done, m.known, size(m.bytes()),
                    m.currentUrl());
            if (terminal) {
                if (line.length() > 119) line = line.substring(0, 116) + "...";
                StringBuilder b = new StringBuilder("\r").append(line);
                for (int i = line.length(); i < width; i++) b.append(' ');
                width = line.length();
                con.print(b);
            } else {
                con.println(line);
            }
            con.flush();
        }

        void stop() {
            running = false;
            if (thread != null) thread.interrupt();
            if (terminal) {
                synchronized (this) {
                    show();
                    con.println();
                }
            }
        }

        static String size(long n) {
            if (n < 1024) return n + " B";
            if (n < 1024 * 1024) return String.format(Locale.ROOT, "%.1f KiB", n / 1024.0);
            return String.format(Locale.ROOT, "%.1f MiB", n / (1024.0 * 1024));
        }
    }
}
