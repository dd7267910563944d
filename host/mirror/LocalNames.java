import java.io.File;
import java.net.URI;
import java.net.URISyntaxException;
import java.net.URL;
import java.net.URLDecoder;
import java.nio.charset.StandardCharsets;
import java.util.Locale;

/**
 * Where the mirror saves a URL: root / site part / path. The site part is the
 * host name, or the host name, a blank and the port. A URL that names a
 * directory is saved as "x7fenwix.htm" in it, and a query follows the file
 * name behind a caret. Whatever the URL says, the result lies under root.
 */
final class LocalNames {
    static final String DEFAULT_PAGE = "x7fenwix.htm";

    private LocalNames() {}

    static String sitePart(URL url) {
        String host = url.getHost() == null ? "" : url.getHost().toLowerCase(Locale.ROOT);
        String safe = clean(host);
        if (safe.isEmpty() || safe.equals(".") || safe.equals("..")) safe = "_";
        return url.getPort() == -1 ? safe : safe + " " + url.getPort();
    }

    /** The local path below root, with '/' between its parts. */
    static String relativeName(URL url) {
        String path = url.getPath();
        try {
            path = new URI(null, null, path, null).normalize().getRawPath();
        } catch (URISyntaxException e) {
            // keep the raw path; the segments are cleaned one by one below
        }
        StringBuilder b = new StringBuilder(sitePart(url));
        String[] segments = path.split("/", -1);
        boolean directory = path.isEmpty() || path.endsWith("/");
        int last = segments.length - 1;
        for (int i = 0; i < segments.length; i++) {
            String seg = decode(segments[i]);
            if (seg.isEmpty() || (i == last && directory)) continue;
            // a caret in a saved name always stands for the '?' of a query
            seg = clean(seg).replace('^', '_');
            if (seg.equals(".") || seg.equals("..")) seg = "_" + seg;
            b.append('/').append(seg);
        }
        if (directory) b.append('/').append(DEFAULT_PAGE);
        if (url.getQuery() != null) b.append('^').append(clean(decode(url.getQuery())));
        return b.toString();
    }

    static File localFile(File root, URL url) {
        return new File(root, relativeName(url).replace('/', File.separatorChar));
    }

    private static String decode(String s) {
        try {
            return URLDecoder.decode(s.replace("+", "%2B"), StandardCharsets.UTF_8);
        } catch (IllegalArgumentException e) {
            return s;
        }
    }

    /** Characters that no file name may hold, or that would change a relative link's meaning. */
    private static String clean(String s) {
        StringBuilder b = new StringBuilder(s.length());
        for (int i = 0; i < s.length(); i++) {
            char c = s.charAt(i);
            if (c < 32 || c == 127 || "/\\:*?\"<>|#%".indexOf(c) >= 0) c = '_';
            b.append(c);
        }
        return b.toString();
    }
}
