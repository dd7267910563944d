import java.io.FilterInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.net.URLConnection;

/**
 * A view of an answered connection for the transfer. The JDK reports a body
 * that ends before its Content-Length (the server hung up midway) as a plain
 * end of data; through this view such a body fails with an IOException
 * instead, so that the transfer takes the read-failure path and leaves its
 * marker rather than passing the part off as the whole.
 */
final class WholeBody extends URLConnection {
    private final URLConnection conn;
    /** What the transfer reads of the length-checked bytes; none for the bytes themselves. */
    private final Decorator decorator;

    /** The body as the transfer gets it from the length-checked bytes. */
    interface Decorator {
        InputStream of(InputStream checked) throws IOException;

        /** The connection gave no body stream at all. */
        default void failed(IOException e) {}
    }

    WholeBody(URLConnection conn) {
        this(conn, null);
    }

    WholeBody(URLConnection conn, Decorator decorator) {
        super(conn.getURL());
        this.conn = conn;
        this.decorator = decorator;
        connected = true;
    }

    @Override
    public void connect() throws IOException {
        conn.connect();
    }

    @Override
    public InputStream getInputStream() throws IOException {
        InputStream in;
        try {
            in = conn.getInputStream();
        } catch (IOException e) {
            if (decorator != null) decorator.failed(e);
            throw e;
        }
        long expected = conn.getContentLengthLong();
        InputStream checked = expected < 0 ? in : new Counted(in, expected);
        return decorator == null ? checked : decorator.of(checked);
    }

    private static final class Counted extends FilterInputStream {
        private final long expected;
        private long seen;

        Counted(InputStream in, long expected) {
            super(in);
            this.expected = expected;
        }

        private int count(int n) throws IOException {
            if (n < 0 && seen < expected) {
                throw new IOException("connection closed after " + seen + " of " + expected + " bytes");
            }
            if (n > 0) seen += n;
            return n;
        }

        @Override
        public int read() throws IOException {
            int c = super.read();
            if (c < 0) count(-1);
            else seen++;
            return c;
        }

        @Override
        public int read(byte[] b, int off, int len) throws IOException {
            return count(super.read(b, off, len));
        }
    }
}
