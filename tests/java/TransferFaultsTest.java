import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.tolvak.fenwix.NodeURL;

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Random;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

import org.junit.jupiter.api.Test;

/**
 * Transfers that fail for real: a disk that fills up, a server that hangs up
 * in the middle of a body, and stops from another thread at any moment. Every
 * one leaves either a complete copy or a part with its marker, and the next
 * run completes it byte for byte.
 */
class TransferFaultsTest {
    static final long SERVER_TIME = 1_500_000_000_000L;
    static final boolean SMALL_RUN = "32".equals(System.getProperty("sun.arch.data.model"));

    static byte[] body(int n, long seed) {
        byte[] b = new byte[n];
        new Random(seed).nextBytes(b);
        return b;
    }

    static File marker(File local) {
        return new File(local.getPath() + ".INCOMPLETE");
    }

    /** Runs a command and returns its exit code and output. */
    static Jvm.Result command(String... cmd) throws IOException, InterruptedException {
        Process p = new ProcessBuilder(cmd).redirectErrorStream(true).start();
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        p.getInputStream().transferTo(out);
        if (!p.waitFor(60, TimeUnit.SECONDS)) {
            p.destroyForcibly();
            throw new AssertionError(String.join(" ", cmd) + " did not finish");
        }
        return new Jvm.Result(p.exitValue(), out.toString(StandardCharsets.UTF_8));
    }

    static int number(String out, String pattern) {
        Matcher m = Pattern.compile(pattern).matcher(out);
        assertTrue(m.find(), pattern + " in:\n" + out);
        return Integer.parseInt(m.group(1));
    }

    @Test
    void fullDiskEndsInTheWriteFailureAndTheNextRunResumesOnceSpaceIsBack() throws Exception {
        File work = Jvm.tempDir("fulldisk");
        File disk = new File(work, "disk");
        assertTrue(disk.mkdir());
        Jvm.Result mount = command("mount", "-t", "tmpfs", "-o", "size=256k", "tmpfs", disk.getPath());
        // No skip: a full disk left untested must not pass. The tests run as
        // root, where a size-limited tmpfs can be mounted.
        assertEquals(0, mount.exit,
                "a size-limited tmpfs cannot be mounted here (needs root and the right to mount): " + mount.out);
        try {
            File docRoot = new File(work, "docs");
            byte[] big = body(700_000, 11);
            File served = new File(docRoot, "files/big.bin");
            served.getParentFile().mkdirs();
            Files.write(served.toPath(), big);
            assertTrue(served.setLastModified(SERVER_TIME));
            try (Nginx web = Nginx.start(docRoot)) {
                String url = web.url("/files/big.bin").toString();
                File local = new UrlLoad(disk).localFileFor(web.url("/files/big.bin"));

                String first = Jvm.run("TransferFaultScenarios", disk.getPath(), url).ok().out;
                assertTrue(first.startsWith("IOException occured in FileOutputStream.write(..).\n"
                        + "attempt 1: code=200 step=FAILED states=[setReadWriteError, setDownloaded]"
                        + " log=Error writing file:LOCAL\\n marker=true\n"), first);
                long part = number(first, "length=(\\d+)");
                assertTrue(part > 100_000 && part <= 256 * 1024, "the disk took " + part + " bytes");
                assertTrue(marker(local).isFile(), "the marker needs no space of its own");
                assertArrayEquals(Arrays.copyOf(big, (int) part), Files.readAllBytes(local.toPath()),
                        "what was written before the disk filled up is kept");

                // Space is back: the same tmpfs, larger, with the part and its marker on it.
                Jvm.Result grow = command("mount", "-o", "remount,size=4m", disk.getPath());
                assertEquals(0, grow.exit, grow.out);
                String second = Jvm.run("TransferFaultScenarios", disk.getPath(), url).ok().out;
                assertEquals(String.join("\n",
                        "attempt 1: code=304 step=AGAIN states=[] log= marker=true",
                        "range:bytes=" + part + "-",
                        "attempt 2: code=206 step=DONE states=[setDownloaded] log= marker=false",
                        "length=" + big.length, ""),
                        second.replaceFirst("contructed range field:bytes=" + part + "-\n", ""));
                assertTrue(second.contains("contructed range field:bytes=" + part + "-\n"), second);
                assertArrayEquals(big, Files.readAllBytes(local.toPath()));
                assertEquals(SERVER_TIME, local.lastModified());

                List<Nginx.Entry> log = web.awaitAccessLog(3);
                assertEquals(200, log.get(0).status);
                assertEquals(304, log.get(1).status);
                assertEquals(206, log.get(2).status);
                assertEquals("bytes=" + part + "-", log.get(2).range);
                assertEquals(big.length - part, log.get(2).bytesSent);
            }
        } finally {
            command("umount", "-l", disk.getPath());
        }
    }

    @Test
    void serverHangingUpMidBodyEndsInTheReadFailureAndTheNextRunResumes() throws Exception {
        byte[] body = body(50_000, 12);
        AtomicInteger served = new AtomicInteger();
        try (RawHttpServer server = new RawHttpServer(
                t -> t.equals("/cut.bin") ? new RawHttpServer.Resource(body, SERVER_TIME, "application/octet-stream") : null)) {
            // The first body stops after 20,000 bytes, the first rest after 10,000 more, the next is whole.
            server.cutBodies(t -> {
                int n = served.incrementAndGet();
                return n == 1 ? 20_000 : n == 2 ? 10_000 : -1;
            });
            File root = Jvm.tempDir("hangup");
            String url = server.url("/cut.bin");
            File local = new UrlLoad(root).localFileFor(new java.net.URL(url));
            String readFailure = "IOException occured in InputStream.read(..).\n";

            String first = Jvm.run("TransferFaultScenarios", root.getPath(), url).ok().out;
            assertEquals(readFailure
                    + "attempt 1: code=200 step=FAILED states=[setReadWriteError, setDownloaded] log=Error reading url:"
                    + url + "\\n marker=true\nlength=20000\n", first);
            assertArrayEquals(Arrays.copyOf(body, 20_000), Files.readAllBytes(local.toPath()));

            String second = Jvm.run("TransferFaultScenarios", root.getPath(), url).ok().out;
            assertEquals(String.join("\n",
                    "contructed range field:bytes=20000-",
                    "attempt 1: code=304 step=AGAIN states=[] log= marker=true",
                    "range:bytes=20000-",
                    "IOException occured in InputStream.read(..).",
                    "attempt 2: code=206 step=FAILED states=[setReadWriteError, setDownloaded] log=Error reading url:"
                            + url + "\\n marker=true",
                    "length=30000", ""), second);
            assertArrayEquals(Arrays.copyOf(body, 30_000), Files.readAllBytes(local.toPath()));

            String third = Jvm.run("TransferFaultScenarios", root.getPath(), url).ok().out;
            assertEquals(String.join("\n",
                    "contructed range field:bytes=30000-",
                    "attempt 1: code=304 step=AGAIN states=[] log= marker=true",
                    "range:bytes=30000-",
                    "attempt 2: code=206 step=DONE states=[setDownloaded] log= marker=false",
                    "length=50000", ""), third);
            assertArrayEquals(body, Files.readAllBytes(local.toPath()));
            assertFalse(marker(local).exists());
            assertEquals(SERVER_TIME, local.lastModified());
            assertEquals(List.of("GET /cut.bin 200 cut=20000", "GET /cut.bin 304",
                    "GET /cut.bin 206 Range=bytes=20000- cut=10000", "GET /cut.bin 304",
                    "GET /cut.bin 206 Range=bytes=30000-"), server.requests);
        }
    }

    /** What is on disk after a run: nothing, the whole body, or a part of it with its marker. */
    static String state(File local, byte[] body) throws IOException {
        boolean marked = marker(local).exists();
        if (!local.exists()) return marked ? "marker without file" : "nothing";
        byte[] have = Files.readAllBytes(local.toPath());
        if (Arrays.equals(have, body)) return marked ? "whole, marked" : "whole";
        boolean prefix = have.length < body.length && Arrays.equals(have, Arrays.copyOf(body, have.length));
        if (!prefix) return "corrupt (" + have.length + " bytes)";
        return marked ? "part, marked" : "part of " + have.length + " bytes WITHOUT marker";
    }

    /** One program run of the crawl for the URL, stopped from another thread after delayMicros (negative: never). */
    static void run(File root, java.net.URL url, long delayMicros) throws InterruptedException {
        UrlLoad crawler = new UrlLoad(root);
        crawler.addStart(url);
        Thread stopper = new Thread(() -> {
            try {
                TimeUnit.MICROSECONDS.sleep(delayMicros);
                crawler.aborted = true;
            } catch (InterruptedException e) {
                // the run ended first
            }
        });
        if (delayMicros >= 0) stopper.start();
        new Crawl(crawler).run(n -> true, null);
        stopper.interrupt();
        if (delayMicros >= 0) stopper.join();
    }

    @Test
    void aWholeCopyLeftMarkedIsSettledByTheNextRun() throws Exception {
        // A stop after the last chunk was written but before the end of data
        // was read leaves the whole body marked: its resumption asks for an
        // empty rest, which the server refuses with 416.
        File docRoot = Jvm.tempDir("marked-docs");
        byte[] body = body(5_000, 5);
        File served = new File(docRoot, "data.bin");
        Files.write(served.toPath(), body);
        assertTrue(served.setLastModified(SERVER_TIME));
        try (Nginx web = Nginx.start(docRoot)) {
            java.net.URL url = web.url("/data.bin");
            File root = Jvm.tempDir("marked");
            File local = new UrlLoad(root).localFileFor(url);
            local.getParentFile().mkdirs();
            Files.write(local.toPath(), body);
            assertTrue(local.setLastModified(SERVER_TIME));
            assertTrue(marker(local).createNewFile());
            run(root, url, -1);
            assertEquals("whole", state(local, body), web.accessLog().toString());
            run(root, url, -1);
            assertEquals("whole", state(local, body), web.accessLog().toString());
        }
    }

    @Test
    void stopsAtRandomMomentsAlwaysLeaveACopyTheNextRunCompletes() throws Exception {
        int runs = SMALL_RUN ? 12 : 30;
        File docRoot = Jvm.tempDir("stops-docs");
        byte[] body = body(48_000, 13);
        File served = new File(docRoot, "slow/data.bin");
        served.getParentFile().mkdirs();
        Files.write(served.toPath(), body);
        assertTrue(served.setLastModified(SERVER_TIME));
        Random random = new Random(20240613L);
        List<String> seen = new ArrayList<>();
        int stoppedMidway = 0;
        try (Nginx web = Nginx.with(docRoot).slow("/slow/", 160_000).start()) {
            java.net.URL url = web.url("/slow/data.bin");
            for (int i = 0; i < runs; i++) {
                File root = Jvm.tempDir("stops");
                File local = new UrlLoad(root).localFileFor(url);
                // Two stopped runs, the second often a resumption, then one left to finish.
                for (int stop = 0; stop < 2; stop++) {
                    long delay = random.nextInt(400_000);
                    run(root, url, delay);
                    String s = state(local, body);
                    seen.add(s);
                    if (s.equals("part, marked")) stoppedMidway++;
                    assertTrue(s.equals("nothing") || s.startsWith("whole") || s.equals("part, marked"),
                            "run " + i + "." + stop + ", stopped after " + delay + " us: " + s + "\n" + web.accessLog());
                }
                run(root, url, -1);
                assertEquals("whole", state(local, body), "run " + i + " finished");
                assertEquals(SERVER_TIME, local.lastModified());
            }
        }
        System.out.println("random stops: " + seen.size() + " stopped runs, " + stoppedMidway
                + " left a part with its marker, then " + runs + " runs completed the copy");
        assertTrue(stoppedMidway >= runs / 3, "the stops fell inside transfers: " + seen);
    }
}
