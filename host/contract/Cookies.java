import java.io.IOException;
import java.net.CookieManager;
import java.net.CookiePolicy;
import java.net.URI;
import java.net.URISyntaxException;
import java.net.URL;
import java.net.URLConnection;
import java.util.Collections;
import java.util.List;
import java.util.Map;

/** The crawl's cookie store: what servers set is sent back to them. */
public class Cookies {
    private final CookieManager manager = new CookieManager(null, CookiePolicy.ACCEPT_ORIGINAL_SERVER);
    /** Whether any answer set a cookie: until one does, a request has none to send and none is looked up. */
    private volatile boolean any;

    /** Keeps the cookies an answer sets. */
    public void received(URL url, URLConnection answer) {
        // the header map is built for an answer that sets a cookie only
        if (answer.getHeaderField("Set-Cookie") == null && answer.getHeaderField("Set-Cookie2") == null) return;
        URI uri = toUri(url);
        if (uri == null) return;
        any = true;
        try {
            manager.put(uri, answer.getHeaderFields());
        } catch (IOException | IllegalArgumentException e) {
            // A malformed Set-Cookie is dropped, as a browser would.
        }
    }

    /** The Cookie header value for a URL, or null when there is none. */
    public String sentCookies(URL url) {
        if (!any) return null;
        URI uri = toUri(url);
        if (uri == null) return null;
        try {
            Map<String, List<String>> h = manager.get(uri, Collections.emptyMap());
            List<String> values = h.get("Cookie");
            if (values == null || values.isEmpty()) return null;
            return String.join("; ", values);
        } catch (IOException | IllegalArgumentException e) {
            return null;
        }
    }

    private static URI toUri(URL url) {
        if (url == null) return null;
        try {
            return url.toURI();
        } catch (URISyntaxException e) {
            return null;
        }
    }
}
