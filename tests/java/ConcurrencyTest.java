import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.net.URL;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Random;
import java.util.concurrent.CyclicBarrier;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;

import org.junit.jupiter.api.Test;

/**
 * The natives keep no state: eight threads transferring, reading pages,
 * discovering and rewriting links on objects of their own, all at once, get
 * what one thread gets doing the same work alone.
 */
class ConcurrencyTest {
    static final int THREADS = 8;
    static final long SERVER_TIME = 1_550_000_000_000L;

    /** The body that worker i transfers. */
    static byte[] body(int i) {
        byte[] b = new byte[20_000 + 3_333 * i];
        new Random(i).nextBytes(b);
        return b;
    }

    /** Transfers from scripted connections: whole, appended, failing midway and stopped, by i. */
    static String scriptedTransfer(int i) throws Exception {
        TransferFixture f = new TransferFixture("conc-t" + i);
        byte[] body = body(i);
        ScriptedConnection c = new ScriptedConnection(f.url, body);
        switch (i % 4) {
            case 1:
                f.local.getParentFile().mkdirs();
                Files.write(f.local.toPath(), Arrays.copyOf(body, 1000));
                f.node.setResponseCode(206);
                c = new ScriptedConnection(f.url, Arrays.copyOfRange(body, 1000, body.length));
                break;
            case 2:
                c.failReadAfter = 7_000 + i;
                break;
            case 3:
                c.afterRead = n -> f.crawler.aborted = n >= 5_000 + 100 * i;
                break;
            default:
        }
        f.run(c);
        byte[] have = Files.readAllBytes(f.local.toPath());
        return "transfer " + i + ": " + f.node.stateCalls() + " readLength=" + f.node.readLength + " nfiles="
                + f.crawler.nfiles + " total=" + f.crawler.totalReadLength + " bytes=" + have.length + " prefix="
                + Arrays.equals(have, Arrays.copyOf(body, have.length)) + " marker=" + f.marker().exists() + " time="
                + f.local.lastModified() + " log=" + f.crawler.getLog().replace(f.dir.getPath(), "DIR");
    }

    /** The whole request cycle against nginx, twice: a transfer, then a copy found current. */
    static String requestCycle(int i, File dir, Nginx web) throws Exception {
        StringBuilder out = new StringBuilder("requests " + i + ":");
        for (int run = 0; run < 2; run++) {
            UrlLoad crawler = new UrlLoad(dir);
            NodeURL node = crawler.addStart(web.url("/files/f" + i + ".bin"));
            UrlLoad.Step step = crawler.request(node);
            File local = crawler.localFileFor(node.getURL());
            out.append(' ').append(step).append(' ').append(node.getResponseCode()).append(' ')
                    .append(node.stateCalls()).append(" same=")
                    .append(Arrays.equals(body(i), Files.readAllBytes(local.toPath()))).append(" time=")
                    .append(local.lastModified());
        }
        return out.toString();
    }

    /** Tag reading of random pages: the trees, dumped. */
    static String reading(int i) {
        Random r = new Random(100 + i);
        StringBuilder out = new StringBuilder("reading " + i + ":");
        for (int p = 0; p < 40; p++) {
            String page = HostilePages.asRead(HostilePages.randomPage(r));
            out.append(Integer.toHexString(Trees.dump(Trees.read(page)).hashCode())).append(',');
        }
        return out.toString();
    }

    /** Page scan and link discovery of a saved page: the nodes it queued. */
    static String discovery(int i, File dir) throws Exception {
        UrlLoad crawler = new UrlLoad(dir);
        Random r = new Random(200 + i);
        StringBuilder page = new StringBuilder("<html><body>");
        for (int k = 0; k < 60; k++) page.append(HostilePages.linkTag(r)).append("text ");
        URL url = new URL("http://site" + i + ".test:8080/d/e/page.htm");
        NodeURL node = new NodeURL(2, -1, url, null);
        File f = crawler.localFileFor(url);
        f.getParentFile().mkdirs();
        Files.write(f.toPath(), page.toString().getBytes(StandardCharsets.UTF_8));
        node.setLoadedFilename(f.getPath());
        node.setHtml(true);
        node.setResponseCode(200);
        node.setDownloaded();
        crawler.lURL = node;
        crawler.urlIndex = i;
        crawler.pHTML(node);
        StringBuilder out = new StringBuilder("discovery " + i + ": base=" + crawler.baseURL + " count="
                + crawler.baseFileSlashCount);
        for (NodeURL n : crawler.urlToLoad) {
            out.append(" [").append(n.getLevel()).append(' ').append(n.getParentIndex()).append(' ').append(n.getURL())
                    .append(' ').append(n.getString()).append(']');
        }
        return out.toString();
    }

    /** The rewrite pass over random pages: the pages written back. */
    static String rewriting(int i) throws Exception {
        Random r = new Random(300 + i);
        StringBuilder out = new StringBuilder("rewriting " + i + ":");
        for (int p = 0; p < 40; p++) {
            String page = HostilePages.asRead(HostilePages.randomPage(r));
            HostilePages.Element root = new HostilePages.Element("");
            root.findChild(Trees.reader(page));
            HostilePages.rewriteAndCheck(root, page, HostilePages.PARENTS[p % HostilePages.PARENTS.length], page);
            out.append(Integer.toHexString(root.toString().hashCode())).append(',');
        }
        return out.toString();
    }

    /** All the work of worker i, in a folder of its own. */
    static List<String> work(int i, File dir, Nginx web) throws Exception {
        List<String> out = new ArrayList<>();
        out.add(scriptedTransfer(i));
        out.add(reading(i));
        out.add(requestCycle(i, new File(dir, "requests"), web));
        out.add(discovery(i, new File(dir, "discovery")));
        out.add(rewriting(i));
        return out;
    }

    @Test
    void eightThreadsAtOnceGetWhatOneThreadGets() throws Exception {
        File docRoot = Jvm.tempDir("conc-docs");
        for (int i = 0; i < THREADS; i++) {
            File f = new File(docRoot, "files/f" + i + ".bin");
            f.getParentFile().mkdirs();
            Files.write(f.toPath(), body(i));
            assertTrue(f.setLastModified(SERVER_TIME));
        }
        int rounds = "32".equals(System.getProperty("sun.arch.data.model")) ? 2 : 3;
        try (Nginx web = Nginx.start(docRoot)) {
            List<List<String>> alone = new ArrayList<>();
            for (int i = 0; i < THREADS; i++) alone.add(work(i, Jvm.tempDir("conc-alone"), web));

            ExecutorService pool = Executors.newFixedThreadPool(THREADS);
            try {
                for (int round = 0; round < rounds; round++) {
                    CyclicBarrier start = new CyclicBarrier(THREADS);
                    List<Future<List<String>>> results = new ArrayList<>();
                    for (int i = 0; i < THREADS; i++) {
                        final int w = i;
                        final File dir = Jvm.tempDir("conc");
                        results.add(pool.submit(() -> {
                            start.await(60, TimeUnit.SECONDS);
                            return work(w, dir, web);
                        }));
                    }
                    for (int i = 0; i < THREADS; i++) {
                        assertEquals(alone.get(i), results.get(i).get(5, TimeUnit.MINUTES), "worker " + i + ", round " + round);
                    }
                }
            } finally {
                pool.shutdownNow();
            }
            // the work did what it should, so that equal results mean something
            String all = alone.toString();
            assertTrue(all.contains("[setStopped, setDownloaded]") && all.contains("[setReadWriteError, setDownloaded]")
                    && all.contains("DONE 200 [setDownloaded] same=true") && all.contains("DONE 304 [setPreviouslyDownloaded"),
                    all);
            System.out.println("concurrency: " + THREADS + " threads x " + rounds + " rounds, each "
                    + alone.get(0).size() + " kinds of work, same results as one thread");
        }
    }
}
