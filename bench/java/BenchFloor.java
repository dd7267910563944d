import java.io.FileOutputStream;
import java.io.InputStream;
import java.io.InputStreamReader;

/**
 * The floor of the two hot loops: natives (bench/native/floor.cpp, library
 * x7floor) that make exactly the host calls the library's loops must make,
 * and nothing else.
 */
final class BenchFloor {
    static {
        System.loadLibrary("x7floor");
    }

    private BenchFloor() {}

    /** reader.read() and buf.append(char) per character to the end of the stream; the characters read. */
    static native long readAll(InputStreamReader reader, StringBuffer buf);

    /**
     * in.read(chunk, 0, 100), out.write(chunk, 0, n) and a read of the
     * crawler's aborted per chunk, to the end of the stream; the bytes copied.
     */
    static native long copy(UrlLoad crawler, InputStream in, FileOutputStream out);
}
