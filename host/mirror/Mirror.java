import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.io.IOException;
import java.io.PrintStream;
import java.net.BindException;
import java.net.URL;
import java.nio.channels.FileChannel;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;

/**
 * Mirrors a web site into a folder for offline reading, or updates a mirror
 * made before. Run without a URL, it serves the bundled sample site on
 * 127.0.0.1 and mirrors that.
 */
public final class Mirror {
    private final PrintStream con = System.out;
    private Options options;
    private OutFiles files;
    private UrlLoad crawler;
    private Crawl crawl;
    private Counters counts;
    private Scope scope;
    private Requests requests;
    /** null with --no-robots. */
    private Robots robots;
    /** Log lines of before the log is open (robots.txt of the start page). */
    private final java.util.List<String> early = new java.util.ArrayList<>();
    /** URLs left out by robots.txt, each counted once. */
    private final java.util.Set<String> disallowed = new java.util.HashSet<>();
    private volatile boolean interrupted;
    /** The link records, read from the start (see run). */
    private File recordsRoot;
    private java.util.concurrent.FutureTask<LinkRecords> recordsLoad;
    private final CountDownLatch finished = new CountDownLatch(1);

    public static void main(String[] args) throws InterruptedException {
        Mirror m = new Mirror();
        int[] result = {2};  // stays 2 if the run dies of an unexpected error
        Thread worker = new Thread(null, () -> result[0] = runMain(m, args), "mirror", PageThreads.PAGE_STACK);
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
        try {
            return m.run(args);
        } catch (Options.Usage e) {
            System.err.println("mirror: " + e.getMessage());
            System.err.println("Try: Mirror --help");
            return 1;
        } catch (IOException e) {
            System.err.println("mirror: " + e.getMessage());
            return 2;
        } catch (OutOfMemoryError e) {
            // what is saved stays saved, and the next run goes on from there
            long mb = Runtime.getRuntime().maxMemory() >> 20;
            System.err.println("mirror: this site needs more memory than the Java heap of " + mb
                    + " MB; run again with a larger one (MIRROR_HEAP=" + Math.max(256, mb * 2)
                    + "m scripts/mirror.sh ..., or java -Xmx" + Math.max(256, mb * 2) + "m): it goes on where this run stopped");
            return 2;
        } catch (UnsatisfiedLinkError e) {
            System.err.println("mirror: cannot load the native library x7fenwix (" + e.getMessage()
                    + "); give its folder with -Djava.library.path=...");
            return 1;
        }
    }

    int run(String[] args) throws Options.Usage, IOException {
        options = Options.parse(args);
        if (options == null) {
            con.print(Help.TEXT);
            return 0;
        }
        if (options.checkOnly) return check(0);
        requests = new Requests(options, options.out, new Activity());
        // an update's records are read beside robots.txt and the start page's checks
        recordsRoot = OutFiles.folder(options.out);
        recordsLoad = LinkRecords.loading(recordsRoot);
        if (options.robots) robots = new Robots(requests, () -> crawler != null && crawler.aborted, this::log);
        if (options.start != null) {
            StartPage.checkReachable(options.start, requests);
            // robots.txt first: it may ask for a pace before the start page's check,
            // or forbid the start page; a site that let it time out is not asked
            // twice before the crawl
            boolean check = robots == null
                    || robots.disallowedBy(options.start) == null && !robots.timedOut(options.start);
            if (check) {
                URL moved = StartPage.afterRedirects(options.start, requests);
                if (!moved.equals(options.start)) con.println("The start page has moved to " + moved);
                options.start = moved;
            }
        }
        files = OutFiles.prepare(options.out);
        SampleSite sample = null;
        if (options.start == null) {
            int port = options.port;
            try {
                sample = SampleSite.start(port);
            } catch (BindException e) {
                throw new Options.Usage("the sample site cannot listen on 127.0.0.1 port " + port + " or "
                        + (port + 1) + " (" + e.getMessage() + "); choose others with --port N");
            }
            options.start = new URL(sample.mainUrl());
            options.allowed.add(Options.site(new URL(sample.secondUrl())));
            con.println("Serving the sample site at " + sample.mainUrl() + " and " + sample.secondUrl());
        }
        options.allowed.add(Options.site(options.start));
        scope = new Scope(options);
        int code;
        try (FileChannel lock = files.lock(); OutFiles f = files) {
            code = mirror();
        } finally {
            if (sample != null) sample.close();
        }
        return options.check && code == 0 ? check(code) : code;
    }

    /** Checks the copy in OUT; 3 when some reference leads to no saved file, else code. */
    private int check(int code) throws IOException {
        con.println("Checking the copy in " + options.out);
        CopyCheck c = new CopyCheck(options.out).run();
        c.print(con);
        return c.whole() ? code : 3;
    }

    private int mirror() throws IOException {
        long t0 = System.nanoTime();
        files.openLog();
        files.log("# " + new java.util.Date() + " mirror " + options.start + " into " + files.out
                + (options.depth == Integer.MAX_VALUE ? "" : " depth " + options.depth) + "\n");
        crawler = new UrlLoad(files.out);
        // the transfer's own lines name no cause: the run's log adds it
        UrlLoad c = crawler;
        crawler.setLogSink(line -> files.log(c.failures.withCause(line)));
        crawler.setRequests(requests, new Redirects(this::refuseRedirect));
        synchronized (early) {
            for (String line : early) files.log(line);
            early.clear();
        }
        counts = new Counters(crawler);
        files.recoverInflight();
        LinkRecords records = recordsRoot.equals(files.out) ? loaded(recordsLoad) : LinkRecords.load(files.out);
        crawler.setLinkRecords(records);
        crawl = new Crawl(crawler, options.maxThreads);
        crawl.setSameAsFolder(files.sameAsFolder());

        Thread hook = new Thread(this::stop, "mirror-stop");
        Runtime.getRuntime().addShutdownHook(hook);
        Progress progress = new Progress(counts, con, requests.activity);
        con.println("Mirroring " + options.start + " into " + files.out);
        NodeURL first = crawler.addStart(options.start);
        progress.start();
        // pages are scanned beside the crawl where a second processor can run them
        int threads = PageThreads.count();
        PageScans scans = threads < 2 ? null : PageScans.start(crawler, threads);
        crawler.setPageScans(scans);
        try {
            files.openNotes();
            crawl.run(this::accept, this::done);
        } catch (IOException | RuntimeException e) {
            // whatever ends the crawl, the run still says what it did
            failed("the crawl ended early", e);
        } finally {
            files.closeNotes();
            progress.stop();
            if (scans != null) scans.stop();
        }
        java.util.Map<String, String> sameAs = crawl.sameAsFound();
        // noted as the crawl ends, stopped or not, and before the second copies
        // go, for a pass that does not finish
        if (files.folderPagesFoundNow(sameAs) || crawl.movedAny()) files.filesMoved();
        crawl.dropSecondCopies();
        if (!crawler.aborted) files.sameAsFolder(sameAs);
        files.crawlEnded();

        for (String page : crawler.unread()) {
            // counted here, once the scans are done: an error of the copy, not of the transfer
            counts.errors++;
            counts.errorKind("page not read");
        }
        LinkRewrite rw = null;
        if (!crawler.aborted) {
            // one pass: the library's links and every other reference, in pages and stylesheets
            rw = new LinkRewrite(crawler);
            // a pass of many pages takes a while after the crawl's last line
            Progress passing = new Progress(con, rw::progress, false);
            passing.start();
            boolean whole = false;
            try {
                rw.run(files.pendingRewrites(), files.earlierPassUnfinished(), files.movesToFollow());
                whole = true;
            } catch (RuntimeException e) {
                failed("the rewrite pass ended early", e);
            } finally {
                passing.stop();
            }
            records.rewritten(rw.written);
            // stopped during the pass or ended early: every page noted stays
            // pending, and the moves stay to be followed
            if (whole && !crawler.aborted) {
                files.rewritesLeft(rw.retry);
                files.movesFollowed();
            }
        }
        try {
            records.save();
        } catch (IOException e) {
            // the next update scans the pages again
            files.log("Error writing file:" + files.file(OutFiles.RECORDS_NAME) + "\n");
        }
        double seconds = (System.nanoTime() - t0) / 1e9;
        Failures.Failure startFailure = crawler.failures.of(first);
        int code = Summary.print(con, files, counts, crawler.aborted, crawler.failures.stopped(),
                startFailure == null ? null : startFailure.cause, rw, first, records.replayed, seconds);
        try {
            Runtime.getRuntime().removeShutdownHook(hook);
        } catch (IllegalStateException e) {
            // shutting down already: the hook is running
        }
        return code;
    }

    /** The records the load hands over, waited for through interrupts. */
    private static LinkRecords loaded(java.util.concurrent.FutureTask<LinkRecords> load) {
        boolean interrupted = false;
        try {
            while (true) {
                try {
                    return PageThreads.result(load);
                } catch (InterruptedException e) {
                    interrupted = true;
                }
            }
        } finally {
            if (interrupted) Thread.currentThread().interrupt();
        }
    }

    private void failed(String what, Exception e) {
        counts.errors++;
        files.log("Error: " + what + " (" + Causes.of(e) + ")\n");
        con.println();
        con.println("mirror: " + what + ": " + Causes.of(e));
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

    /** A log line, kept until the log is open. */
    private void log(String line) {
        synchronized (early) {
            if (files == null || crawler == null) {
                early.add(line);
                return;
            }
        }
        crawler.appendLog(line);
    }

    /** Whether a node loads a part of its page (an image, a frame, a style sheet): no level deeper than its page. */
    private boolean requisite(NodeURL node) {
        int p = node.getParentIndex();
        java.util.List<NodeURL> list = crawler.urlToLoad;
        return p >= 0 && p < list.size() && list.get(p).getLevel() == node.getLevel();
    }

    /** Whether the crawl fetches a node, as far as its URL tells: in scope and not too deep. */
    private boolean fetched(NodeURL node) {
        return scope.refuse(node.getURL(), node.getLevel(), requisite(node)) == null;
    }

    /** Why a URL found at node's level is not fetched; null when it is. */
    private String refuse(NodeURL node, URL u) {
        String why = scope.refuse(u, node.getLevel(), requisite(node));
        if (why != null || robots == null) return why;
        String rule = robots.disallowedBy(u);
        if (rule == null) return null;
        if (disallowed.add(UrlLoad.key(u))) {
            counts.skipped("robots.txt");
            // through the crawler: its line comes in crawl-list order
            crawler.appendLog("Skipped:" + u + " (robots.txt " + rule + ")\n");
        }
        return "robots.txt " + rule;
    }

    private String refuseRedirect(NodeURL node, URL target) {
        String why = refuse(node, target);
        if (why == null) files.inFlight(crawl.filesInFlight(crawler.localFileFor(target)));
        return why;
    }

    private boolean accept(NodeURL node) {
        if (refuse(node, node.getURL()) != null) return false;
        node.setMaxLevel(options.depth);
        // Until this node ends, its file is in flight: a run killed outright
        // leaves the name behind, and the next run takes that file for partial.
        files.inFlight(crawl.filesInFlight(crawler.localFileFor(node.getURL())));
        return true;
    }

    private void done(NodeURL node) {
        Failures.Failure f = crawler.failures.of(node);
        if (f != null && !node.isLoaded() && (f.kind.equals(Failures.SKIPPED_REDIRECT)
                || f.kind.equals(BodyFailure.TOO_LARGE))) {
            counts.skippedNode(node, f.kind);
            counts.found(crawler.urlToLoad, this::fetched);
            return;
        }
        if (f != null && f.kind.equals(Failures.REDIRECTED)) {
            counts.done++;
            counts.found(crawler.urlToLoad, this::fetched);
            return;
        }
        Counters.Outcome outcome = counts.count(node);
        if (outcome == Counters.Outcome.ERROR || outcome == Counters.Outcome.HTTP_ERROR) {
            counts.errorKind(f != null ? f.kind : node.getResponseCode() > 0
                    ? "HTTP " + node.getResponseCode() / 100 + "xx" : "other");
        }
        switch (outcome) {
            case PAGE:
                files.savedPage(node.getLoadedFilename());
                break;
            case NOT_FOUND:
                files.log("Not found:" + node.getURL() + "\n");
                break;
            case HTTP_ERROR:
                // a status of its own kind has its line already, with its reason
                if (f == null) files.log("HTTP " + node.getResponseCode() + ":" + node.getURL() + "\n");
                break;
            default:
                break;
        }
        counts.found(crawler.urlToLoad, this::fetched);
    }
}
