import java.io.FilterInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.net.URLConnection;
import java.util.Locale;
import java.util.zip.GZIPInputStream;
import java.util.zip.InflaterInputStream;

/**
 * The body of an answer as the transfer reads it: decoded when it came
 * gzip-encoded, read no faster than --limit-rate, broken off when it grows
 * past --max-size, when the disk's free space falls under --min-free or
 * when it trickles in slower than --min-rate; every failure is told to the
 * run's failures before it reaches the transfer.
 */
final class BodyStream extends FilterInputStream {
    /** Free space is checked after this many bytes: a system call per chunk would cost more than the chunk. */
    private static final long DISK_CHECK_EVERY = 256 * 1024;

    private final Requests r;
    private final Failures failures;
    private final long offset;
    private long read;
    private long sinceDiskCheck;
    private long windowStart = System.nanoTime();
    private long windowBytes;

    private BodyStream(InputStream in, Requests r, Failures failures, long offset) {
        super(in);
        this.r = r;
        this.failures = failures;
        this.offset = offset;
    }

    /** The encoding of an answer's body, lower case; "" for none. */
    static String encoding(URLConnection conn) {
        String e = conn.getHeaderField("Content-Encoding");
        return e == null ? "" : e.trim().toLowerCase(Locale.ROOT);
    }

    static boolean encoded(URLConnection conn) {
        String e = encoding(conn);
        return !e.isEmpty() && !e.equals("identity");
    }

    /**
     * The body to save from raw (the bytes as they came, length-checked),
     * offset the bytes already on disk that it is appended to.
     */
    static InputStream of(InputStream raw, URLConnection conn, Requests r, Failures failures, long offset)
            throws IOException {
        try {
            String enc = encoding(conn);
            InputStream decoded;
            switch (enc) {
                case "":
                case "identity":
                    decoded = raw;
                    long length = conn.getContentLengthLong();
                    if (r.maxSize >= 0 && length >= 0 && offset + length > r.maxSize) throw tooLarge(r);
                    break;
                case "gzip":
                case "x-gzip":
                    decoded = new GZIPInputStream(raw, 8192);
                    break;
                case "deflate":
                    decoded = new InflaterInputStream(raw);
                    break;
                default:
                    throw new BodyFailure(BodyFailure.ENCODING, "Content-Encoding '" + enc + "' cannot be decoded");
            }
            BodyStream b = new BodyStream(r.pace.limited(decoded), r, failures, offset);
            b.checkDisk();
            return b;
        } catch (IOException e) {
            failures.body(e);
            throw e;
        }
    }

    /** The transfer's view of conn's body, every failure of it told to failures. */
    static WholeBody.Decorator decorator(URLConnection conn, Requests r, Failures failures, long offset) {
        return new WholeBody.Decorator() {
            @Override
            public InputStream of(InputStream checked) throws IOException {
                return BodyStream.of(checked, conn, r, failures, offset);
            }

            @Override
            public void failed(IOException e) {
                failures.body(e);
            }
        };
    }

    private static BodyFailure tooLarge(Requests r) {
        return new BodyFailure(BodyFailure.TOO_LARGE, "larger than --max-size " + r.maxSize + " bytes");
    }

    private void checkDisk() throws BodyFailure {
        sinceDiskCheck = 0;
        long free = r.out.getUsableSpace();
        // 0 is what the JDK says when it cannot tell
        if (free > 0 && free < r.minFree) {
            throw new BodyFailure(BodyFailure.DISK, "the disk of " + r.out + " has " + free
                    + " bytes free, under --min-free " + r.minFree);
        }
    }

    private int watch(int n) throws IOException {
        long now = System.nanoTime();
        if (n > 0) {
            read += n;
            sinceDiskCheck += n;
            windowBytes += n;
            if (r.maxSize >= 0 && offset + read > r.maxSize) throw tooLarge(r);
            if (sinceDiskCheck >= DISK_CHECK_EVERY) checkDisk();
        }
        long window = (now - windowStart) / 1_000_000;
        if (n >= 0 && r.minRate > 0 && window >= r.minRateMs) {
            if (windowBytes * 1000 < r.minRate * window) {
                throw new BodyFailure(BodyFailure.TOO_SLOW, String.format(Locale.ROOT,
                        "%d bytes in %.1f s, under --min-rate %d bytes a second", windowBytes, window / 1000.0,
                        r.minRate));
            }
            windowStart = now;
            windowBytes = 0;
        }
        return n;
    }

    @Override
    public int read() throws IOException {
        try {
            int c = super.read();
            watch(c < 0 ? -1 : 1);
            return c;
        } catch (IOException e) {
            failures.body(e);
            throw e;
        }
    }

    @Override
    public int read(byte[] b, int off, int len) throws IOException {
        try {
            return watch(super.read(b, off, len));
        } catch (IOException e) {
            failures.body(e);
            throw e;
        }
    }
}
