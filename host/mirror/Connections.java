import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.HttpURLConnection;
import java.net.URLConnection;

/** The end of a connection's use: its socket kept for the next request where that is safe. */
final class Connections {
    /** Longest error page read to its end to keep its connection. */
    private static final long ERROR_PAGE_MAX = 64 * 1024;

    private Connections() {}

    /**
     * Ends the use of a connection. A body read to its end (or an answer
     * without one, or a short error page) gives the socket back for
     * keep-alive; anything else (a stopped or failed transfer, a body not
     * wanted) is disconnected: the JDK closes the socket, or, for a body of at most
     * 512 KiB, drains the rest in the background before reusing it.
     */
    static void release(URLConnection conn, boolean consumed) {
        if (!(conn instanceof HttpURLConnection)) return;
        HttpURLConnection http = (HttpURLConnection) conn;
        if (consumed) {
            try {
                http.getInputStream().close();
                return;
            } catch (IOException e) {
                // no body stream after all (an error answer): see below
            }
        }
        // An error answer's short page (a 404's) is read to its end, so that
        // the socket serves the next request rather than a new one being opened.
        try {
            long length = http.getContentLengthLong();
            InputStream error = http.getErrorStream();
            if (error != null && length >= 0 && length <= ERROR_PAGE_MAX) {
                try (error) {
                    error.transferTo(OutputStream.nullOutputStream());
                }
                return;
            }
        } catch (IOException e) {
            // closed below
        }
        http.disconnect();
    }
}
