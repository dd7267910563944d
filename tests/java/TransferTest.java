import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.File;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;

import org.junit.jupiter.api.Test;

class TransferTest {

    @Test
    void bodyIsStreamedInChunksOfAHundredBytes() throws Exception {
        TransferFixture f = new TransferFixture("chunks");
        byte[] body = TransferFixture.bytes(250);
        ScriptedConnection c = new ScriptedConnection(f.url, body);
        List<Integer> delivered = new ArrayList<>();
        c.afterRead = delivered::add;
        f.crawler.totalReadLength = (1L << 31) + 5;  // beyond an int: the sum stays exact
        f.run(c);

        assertArrayEquals(body, Files.readAllBytes(f.local.toPath()));
        assertEquals(Arrays.asList(100, 200, 250), delivered, "reads of 100 bytes until the end");
        assertEquals(250, f.node.readLength);
        assertEquals((1L << 31) + 255, f.crawler.totalReadLength);
        assertEquals(1, f.crawler.nfiles);
        assertEquals(List.of("setDownloaded"), f.node.stateCalls());
        assertEquals(TransferFixture.SERVER_TIME, f.local.lastModified());
        assertFalse(f.marker().exists());
        assertTrue(f.node.isLoaded());
    }

    @Test
    void partialContentIsAppendedAndEverythingElseReplaces() throws Exception {
        TransferFixture f = new TransferFixture("append");
        f.local.getParentFile().mkdirs();
        Files.write(f.local.toPath(), "head-".getBytes());
        f.node.setResponseCode(206);
        f.run(new ScriptedConnection(f.url, "tail".getBytes()));
        assertEquals("head-tail", Files.readString(f.local.toPath()));
        assertEquals(4, f.node.readLength, "only the new bytes count");

        f.node.setResponseCode(200);
        f.run(new ScriptedConnection(f.url, "whole".getBytes()));
        assertEquals("whole", Files.readString(f.local.toPath()));
        assertEquals(2, f.crawler.nfiles);
        assertEquals(9, f.crawler.totalReadLength);
    }

    @Test
    void emptyBodyMakesAnEmptyCompleteFile() throws Exception {
        TransferFixture f = new TransferFixture("empty");
        f.run(new ScriptedConnection(f.url, new byte[0]));
        assertTrue(f.local.isFile());
        assertEquals(0, f.local.length());
        assertEquals(0, f.node.readLength);
        assertEquals(1, f.crawler.nfiles);
        assertEquals(List.of("setDownloaded"), f.node.stateCalls());
        assertEquals(TransferFixture.SERVER_TIME, f.local.lastModified());
        assertFalse(f.marker().exists());
    }

    @Test
    void nothingHappensWhenStoppedOrNotWanted() throws Exception {
        TransferFixture f = new TransferFixture("skip");
        f.crawler.aborted = true;
        f.run(new ScriptedConnection(f.url, TransferFixture.bytes(10)));
        assertEquals(0, f.node.asked.get(), "a stopped crawl does not even ask the node");
        assertFalse(f.local.getParentFile().exists());

        f.crawler.aborted = false;
        f.node.download = false;
        f.run(new ScriptedConnection(f.url, TransferFixture.bytes(10)));
        assertEquals(1, f.node.asked.get());
        assertFalse(f.local.getParentFile().exists(), "no directory for a body that is not wanted");
        assertEquals(0, f.crawler.nfiles);
        assertTrue(f.node.stateCalls().isEmpty());
    }

    @Test
    void stopFromAnotherThreadEndsAfterTheChunkInHandAndLeavesTheMarker() throws Exception {
        TransferFixture f = new TransferFixture("stop");
        byte[] body = TransferFixture.bytes(10_000);
        ScriptedConnection c = new ScriptedConnection(f.url, body);
        CountDownLatch reached = new CountDownLatch(1);
        CountDownLatch stopped = new CountDownLatch(1);
        c.afterRead = n -> {
            if (n == 300) {
                reached.countDown();
                try {
                    assertTrue(stopped.await(30, TimeUnit.SECONDS));
                } catch (InterruptedException e) {
                    Thread.currentThread().interrupt();
                }
            }
        };
        Thread stopper = new Thread(() -> {
            try {
                reached.await();
                f.crawler.aborted = true;
                stopped.countDown();
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
        });
        stopper.start();
        f.run(c);
        stopper.join();

        assertEquals(List.of("setStopped", "setDownloaded"), f.node.stateCalls());
        assertEquals(300, f.node.readLength, "the chunk written before the stop was seen counts");
        assertEquals(300, f.local.length());
        assertEquals(1, f.crawler.nfiles);
        assertTrue(f.marker().isFile());
        assertEquals(0, f.marker().length());
        assertEquals(TransferFixture.SERVER_TIME, f.marker().lastModified());
        assertEquals(TransferFixture.SERVER_TIME, f.local.lastModified());
        assertFalse(f.node.isLoaded());
    }

    @Test
    void markerOfAnEarlierAttemptStaysAndGetsTheNewTime() throws Exception {
        TransferFixture f = new TransferFixture("remark");
        f.local.getParentFile().mkdirs();
        assertTrue(f.marker().createNewFile());
        f.marker().setLastModified(1000);
        ScriptedConnection c = new ScriptedConnection(f.url, TransferFixture.bytes(500));
        c.afterRead = n -> f.crawler.aborted = n >= 200;
        f.run(c);
        assertTrue(f.marker().isFile());
        assertEquals(TransferFixture.SERVER_TIME, f.marker().lastModified());
    }

    @Test
    void localFileWithoutParentIsWrittenWhereItIs() throws Exception {
        TransferFixture f = new TransferFixture("noparent");
        File bare = new File("x7-noparent-" + ProcessHandle.current().pid() + ".bin");
        try {
            f.node.setLoadedFilename(bare.getPath());
            f.crawler.jiplok(f.node, new ScriptedConnection(f.url, TransferFixture.bytes(42)), bare);
            assertEquals(42, bare.length());
            assertEquals(List.of("setDownloaded"), f.node.stateCalls());
        } finally {
            bare.delete();
        }
    }

    @Test
    void failuresAreReportedInOrderWithTheirDiagnostics() throws Exception {
        String out = Jvm.run("TransferFailures", "create", "input", "read").ok().out;
        assertEquals(String.join("\n",
                "== create",
                "FileNotFoundException occured in new FileOutputStream(..).",
                "states=[setCreateError]",
                "log=Error creating file:" + TransferFailures.placeholderName("create") + "\\n",
                "nfiles=0 readLength=0 marker=false stamped=false parentMade=true",
                "== input",
                "IOException occured in getInputStream.",
                "states=[setReadWriteError]",
                "log=Error reading url:http://example.test/sub/page.htm\\n",
                "nfiles=0 readLength=0 marker=true stamped=true parentMade=true",
                "== read",
                "IOException occured in InputStream.read(..).",
                "states=[setReadWriteError, setDownloaded]",
                "log=Error reading url:http://example.test/sub/page.htm\\n",
                "nfiles=1 readLength=200 marker=true stamped=true parentMade=true",
                ""), TransferFailures.normalise(out));
    }

    @Test
    void writeFailureOnAFullFileKeepsWhatWasWritten() throws Exception {
        // ulimit -f 1: files stop at 1024 bytes, so the eleventh chunk fails.
        String out = Jvm.runLimited(1, "TransferFailures", "write").ok().out;
        assertEquals(String.join("\n",
                "== write",
                "IOException occured in FileOutputStream.write(..).",
                "states=[setReadWriteError, setDownloaded]",
                "log=Error writing file:" + TransferFailures.placeholderName("write") + "\\n",
                "nfiles=1 readLength=1000 marker=true stamped=true parentMade=true",
                ""), TransferFailures.normalise(out));
    }
}
