import java.io.IOException;
import java.io.InputStream;
import java.net.URL;
import java.net.URLConnection;
import java.util.function.IntConsumer;

/** A connection whose body, and whose failures, a test scripts. */
class ScriptedConnection extends URLConnection {
    private final byte[] body;
    boolean failOnOpen;
    /** Bytes delivered before a read throws; negative for never. */
    long failReadAfter = -1;
    /** Called with the bytes delivered so far after every read. */
    IntConsumer afterRead;

    ScriptedConnection(URL url, byte[] body) {
        super(url);
        this.body = body;
    }

    @Override
    public void connect() {
        connected = true;
    }

    @Override
    public InputStream getInputStream() throws IOException {
        if (failOnOpen) throw new IOException("scripted: no body");
        return new InputStream() {
            int delivered;

            @Override
            public int read() throws IOException {
                byte[] one = new byte[1];
                return read(one, 0, 1) < 0 ? -1 : one[0] & 0xff;
            }

            @Override
            public int read(byte[] b, int off, int len) throws IOException {
                if (failReadAfter >= 0 && delivered >= failReadAfter) throw new IOException("scripted: connection reset");
                if (delivered >= body.length) return -1;
                int n = Math.min(len, body.length - delivered);
                System.arraycopy(body, delivered, b, off, n);
                delivered += n;
                if (afterRead != null) afterRead.accept(delivered);
                return n;
            }
        };
    }
}
