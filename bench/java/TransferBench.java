import com.tolvak.fenwix.NodeURL;

import java.io.ByteArrayInputStream;
import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.net.URL;
import java.net.URLConnection;

/**
 * The transfer against its floor: one body from an in-memory stream to a file,
 * by jiplok through a connection whose body is that stream, and by the floor
 * loop into a FileOutputStream of the same file.
 */
final class TransferBench {
    private TransferBench() {}

    /** A connection that has answered with an in-memory body. */
    static final class MemoryConnection extends URLConnection {
        private final byte[] body;

        MemoryConnection(URL url, byte[] body) {
            super(url);
            this.body = body;
        }

        @Override
        public void connect() {
            connected = true;
        }

        @Override
        public InputStream getInputStream() {
            return new ByteArrayInputStream(body);
        }
    }

    static byte[] body(int bytes) {
        byte[] b = new byte[bytes];
        long x = 0x9E3779B97F4A7C15L;
        for (int i = 0; i < bytes; i++) {
            x ^= x << 13;
            x ^= x >>> 7;
            x ^= x << 17;
            b[i] = (byte) x;
        }
        return b;
    }

    static void library(UrlLoad crawler, byte[] body, File file) throws IOException {
        URL url = new URL("http://127.0.0.1/body.bin");
        NodeURL node = new NodeURL(0, -1, url, null);
        node.setLoadedFilename(file.getPath());
        node.setResponseCode(200);
        node.setLastModified(1_600_000_000_000L);
        crawler.jiplok(node, new MemoryConnection(url, body), file);
        if (node.readLength != body.length || file.length() != body.length || !node.isLoaded()) {
            throw new IllegalStateException("jiplok wrote " + file.length() + " of " + body.length + " bytes");
        }
    }

    static void floor(UrlLoad crawler, byte[] body, File file) throws IOException {
        long n;
        try (FileOutputStream out = new FileOutputStream(file.getPath(), false)) {
            n = BenchFloor.copy(crawler, new ByteArrayInputStream(body), out);
        }
        if (n != body.length || file.length() != body.length) {
            throw new IllegalStateException("floor wrote " + file.length() + " of " + body.length + " bytes");
        }
    }

    /**
     * Alternates library and floor runs (and which goes first) after warm-up;
     * returns {library wall, floor wall, library CPU, floor CPU} in seconds.
     */
    static Stats[] measure(File dir, int megabytes, int warmup, int runs) throws IOException {
        byte[] body = body(megabytes << 20);
        UrlLoad crawler = new UrlLoad(dir);
        File file = new File(dir, "body.bin");
        Stats lib = new Stats("transfer");
        Stats flo = new Stats("floor");
        Stats libCpu = new Stats("transfer CPU");
        Stats floCpu = new Stats("floor CPU");
        for (int i = 0; i < warmup + runs; i++) {
            for (int k = 0; k < 2; k++) {
                boolean libraryNow = (i + k) % 2 == 0;
                long c0 = Cpu.now();
                long t0 = System.nanoTime();
                if (libraryNow) library(crawler, body, file);
                else floor(crawler, body, file);
                double wall = Stats.since(t0);
                double cpu = Cpu.since(c0);
                if (i >= warmup) {
                    (libraryNow ? lib : flo).add(wall);
                    (libraryNow ? libCpu : floCpu).add(cpu);
                }
            }
        }
        file.delete();
        return new Stats[] {lib, flo, libCpu, floCpu};
    }
}
