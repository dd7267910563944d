import java.io.IOException;
import java.net.HttpURLConnection;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.net.Socket;
import java.net.URL;
import java.net.UnknownHostException;
import java.util.Locale;

/** The start URL checked before a run: its host reached, its redirects followed. */
final class StartPage {
    private StartPage() {}

    static void checkReachable(URL u, Requests rq) throws Options.Usage {
        InetAddress addr;
        try {
            addr = InetAddress.getByName(u.getHost());
        } catch (UnknownHostException e) {
            throw new Options.Usage("unknown host " + u.getHost());
        }
        int p = u.getPort() == -1 ? u.getDefaultPort() : u.getPort();
        try (Socket s = new Socket()) {
            s.connect(new InetSocketAddress(addr, p), rq.connectTimeoutMs);
        } catch (IOException e) {
            throw new Options.Usage("cannot reach " + u.getHost() + ":" + p + " (" + e.getMessage() + ")");
        }
    }

    /**
     * Where the start URL leads once the server's redirects are followed
     * ("/docs" to "/docs/"): its page is saved and its links resolved there,
     * as a browser would. Any failure leaves the URL as it is; the crawl
     * reports it.
     */
    static URL afterRedirects(URL u, Requests rq) {
        for (int hops = 0; hops < Redirects.MAX_HOPS; hops++) {
            HttpURLConnection c = null;
            URL asked = u;
            try {
                rq.pace.before(asked, () -> false);
                c = rq.open(u);
                c.setRequestMethod("HEAD");
                rq.activity.set("checking the start page " + u);
                int code = c.getResponseCode();
                String location = c.getHeaderField("Location");
                c.disconnect();
                if (code < 300 || code > 399 || location == null) return u;
                URL next = new URL(u, location);
                String p = next.getProtocol().toLowerCase(Locale.ROOT);
                if (!p.equals("http") && !p.equals("https") || next.getHost().isEmpty()) return u;
                u = SavedLinks.requestable(next);
            } catch (IOException | ClassCastException | IllegalArgumentException e) {
                return u;
            } finally {
                if (c != null) rq.pace.after(asked);
            }
        }
        return u;
    }
}
