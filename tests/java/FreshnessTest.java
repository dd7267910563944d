import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.net.URL;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.List;

import org.junit.jupiter.api.Test;

class FreshnessTest {
    static final long LOCAL_TIME = 1_600_000_000_000L;

    /** Whether lokboi marks a fresh node with this server time and code against a local file of LOCAL_TIME. */
    static boolean marked(File local, long serverTime, int code) throws Exception {
        UrlLoad crawler = new UrlLoad(local.getParentFile());
        NodeURL node = new NodeURL(0, -1, new URL("http://example.test/page.htm"), null);
        node.setLoadedFilename(local.getPath());
        node.setResponseCode(code);
        node.setLastModified(serverTime);
        crawler.lokboi(local, node);
        List<String> calls = node.stateCalls();
        assertTrue(calls.isEmpty() || calls.equals(List.of("setPreviouslyDownloaded")), calls.toString());
        return !calls.isEmpty();
    }

    static File localCopy(String name) throws Exception {
        File local = new File(Jvm.tempDir(name), "page.htm");
        Files.write(local.toPath(), "saved".getBytes());
        assertTrue(local.setLastModified(LOCAL_TIME));
        assertEquals(LOCAL_TIME, local.lastModified());
        return local;
    }

    @Test
    void serverCopyIsNewerFromOneSecondOn() throws Exception {
        File local = localCopy("fresh-threshold");
        assertTrue(marked(local, LOCAL_TIME, 200), "equal times");
        assertTrue(marked(local, LOCAL_TIME + 999, 200));
        assertFalse(marked(local, LOCAL_TIME + 1000, 200));
        assertTrue(marked(local, LOCAL_TIME - 1, 200), "local copy newer");
        assertTrue(marked(local, 0, 200), "no server time");
        assertTrue(marked(local, LOCAL_TIME, 304));
    }

    @Test
    void differenceUsesAllSixtyFourBits() throws Exception {
        File local = localCopy("fresh-wide");
        assertFalse(marked(local, LOCAL_TIME + (1L << 32), 200));
        assertFalse(marked(local, LOCAL_TIME + (1L << 32) + 999, 200), "low 32 bits alone would say 999");
        assertFalse(marked(local, Long.MAX_VALUE, 200));
        assertTrue(marked(local, Long.MIN_VALUE, 200));
        assertTrue(marked(local, LOCAL_TIME - (1L << 32), 200));
    }

    @Test
    void partialContentAndMissingFilesAreNeverMarked() throws Exception {
        File local = localCopy("fresh-206");
        assertFalse(marked(local, LOCAL_TIME, 206), "the rest of the file is still to be appended");
        assertFalse(marked(local, 0, 206));
        File missing = new File(local.getParentFile(), "missing.htm");
        assertFalse(marked(missing, 0, 200));
        assertFalse(marked(missing, LOCAL_TIME, 304));
    }

    @Test
    void fileStampedByTheTransferIsCurrentUntilTheServerChanges() throws Exception {
        TransferFixture f = new TransferFixture("fresh-stamp");
        f.run(new ScriptedConnection(f.url, TransferFixture.bytes(300)));
        assertEquals(TransferFixture.SERVER_TIME, f.local.lastModified());
        assertTrue(marked(f.local, TransferFixture.SERVER_TIME, 200));
        assertFalse(marked(f.local, TransferFixture.SERVER_TIME + 60_000, 200));
    }

    @Test
    void serverTimeIsReadBeforeTheLocalTimeHere() throws Exception {
        List<String> reads = new ArrayList<>();
        File dir = Jvm.tempDir("fresh-order");
        File local = new File(dir, "page.htm") {
            @Override
            public long lastModified() {
                reads.add("local");
                return super.lastModified();
            }
        };
        Files.write(local.toPath(), "saved".getBytes());
        NodeURL node = new NodeURL(0, -1, new URL("http://example.test/page.htm"), null) {
            @Override
            public long getLastModified() {
                reads.add("server");
                return super.getLastModified();
            }
        };
        node.setResponseCode(200);
        node.setLastModified(local.lastModified());
        reads.clear();
        new UrlLoad(dir).lokboi(local, node);
        assertEquals(List.of("server", "local"), reads);
        assertEquals(List.of("setPreviouslyDownloaded"), node.stateCalls());
    }
}
