import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.HttpURLConnection;
import java.net.URLConnection;

/** The end of a connection's use: its socket kept for the next request where that is safe. */
final class Connections {
    /** Longest error page read to its end to keep its connection. */
    private static final long SHORT_BODY_MAX = 64 * 1024;
    /** Longest redirect's body read to its end: a note of a few lines, in the socket's buffer already. */
    private static final long REDIRECT_BODY_MAX = 8 * 1024;

    private Connections() {}

    /**
     * Ends the use of a connection. A body read to its end (or an answer
     * without one, or a short error page) gives the socket back for
     * keep-alive, and so does a redirect's short note; anything else (a
     * stopped or failed transfer, a body not wanted) is disconnected: the
     * JDK closes the socket, or, for a body of at most 512 KiB, drains the
     * rest in the background before reusing it.
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
        // A short answer that is not wanted (a redirect's note, a 404's page) is
        // read to its end, so that the socket serves the next request rather
        // than a new one being opened: a site whose links all redirect
        // otherwise opens a connection for every other request.
        try {
            long length = http.getContentLengthLong();
            int code = http.getResponseCode();
            // not a body broken off: that one may come slowly
            boolean note = code >= 300 && code < 400 && length <= REDIRECT_BODY_MAX || code >= 400 && length <= SHORT_BODY_MAX;
            if (length >= 0 && note) {
                InputStream body = code >= 400 ? http.getErrorStream() : http.getInputStream();
                if (body != null) {
                    try (body) {
                        body.transferTo(OutputStream.nullOutputStream());
                    }
                    return;
                }
            }
        } catch (IOException e) {
            // closed below
        }
        http.disconnect();
    }
}
