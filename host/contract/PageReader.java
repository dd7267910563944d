import java.io.IOException;
import java.io.InputStream;
import java.io.InputStreamReader;

/**
 * The reader the tag reader takes its characters from, one {@code read()} per
 * character: it decodes a block at a time from the reader below it and hands
 * the characters out of an array. InputStreamReader's own read() takes a lock
 * and goes through its decoder for every character, which cost more than the
 * tag reader's work on a page. Used by one thread, as the tag reader is.
 */
public final class PageReader extends InputStreamReader {
    private static final int BLOCK = 8192;

    private final InputStreamReader below;
    private final char[] block = new char[BLOCK];
    private int pos;
    private int end;

    /** A reader over what is left in below; closing it closes below. */
    public PageReader(InputStreamReader below) {
        super(InputStream.nullInputStream());
        this.below = below;
    }

    /**
     * A PageReader over a plain InputStreamReader; any other reader, this one
     * included, as it is: a reader of the caller's own class reads as it says.
     */
    public static InputStreamReader of(InputStreamReader r) {
        return r.getClass() == InputStreamReader.class ? new PageReader(r) : r;
    }

    @Override
    public int read() throws IOException {
        if (pos == end && !fill()) return -1;
        return block[pos++];
    }

    @Override
    public int read(char[] into, int off, int len) throws IOException {
        if (len == 0) return 0;
        if (pos == end && !fill()) return -1;
        int n = Math.min(len, end - pos);
        System.arraycopy(block, pos, into, off, n);
        pos += n;
        return n;
    }

    @Override
    public boolean ready() throws IOException {
        return pos < end || below.ready();
    }

    @Override
    public String getEncoding() {
        return below.getEncoding();
    }

    @Override
    public void close() throws IOException {
        below.close();
    }

    private boolean fill() throws IOException {
        int n;
        do {
            n = below.read(block, 0, BLOCK);
        } while (n == 0);
        if (n < 0) return false;
        pos = 0;
        end = n;
        return true;
    }
}
