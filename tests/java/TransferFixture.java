import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.io.IOException;
import java.net.URL;
import java.util.concurrent.atomic.AtomicInteger;

/** A crawler, a node and a local file in a scratch folder, ready for one transfer. */
class TransferFixture {
    static final long SERVER_TIME = 1_600_000_000_000L;

    final File dir;
    final UrlLoad crawler;
    final CountingNode node;
    final File local;
    final URL url;

    /** A node that counts how often it is asked whether to transfer. */
    static class CountingNode extends NodeURL {
        final AtomicInteger asked = new AtomicInteger();
        Boolean download;

        CountingNode(URL url) {
            super(0, -1, url, null);
        }

        @Override
        public boolean downloadThisURL() {
            asked.incrementAndGet();
            return download != null ? download : super.downloadThisURL();
        }
    }

    TransferFixture(String name) throws IOException {
        dir = Jvm.tempDir(name);
        crawler = new UrlLoad(dir);
        url = new URL("http://example.test/sub/page.htm");
        node = new CountingNode(url);
        local = new File(dir, "sub/page.htm");
        node.setLoadedFilename(local.getPath());
        node.setResponseCode(200);
        node.setLastModified(SERVER_TIME);
    }

    File marker() {
        return new File(local.getPath() + ".INCOMPLETE");
    }

    static byte[] bytes(int n) {
        byte[] b = new byte[n];
        for (int i = 0; i < n; i++) b[i] = (byte) (i * 31 + 7);
        return b;
    }

    void run(ScriptedConnection c) {
        crawler.jiplok(node, c, local);
    }
}
