import java.io.File;
import java.net.URL;

/**
 * Where the mirror saves a URL: root / site part / path. The site part is the
 * host name, or the host name, a blank and the port. A URL that names a
 * directory is saved as "x7fenwix.htm" in it, and a query follows the file
 * name behind a caret. Names are printable ASCII whatever the locale: other
 * bytes, and characters no file name may hold, are written "_HH". Distinct
 * URLs get distinct names, every name leaves room for the incomplete marker,
 * and the result lies under root. The rule itself is the library's.
 */
final class LocalNames {
    static {
        // needed before any crawler exists (the command line, the tests)
        System.loadLibrary("x7fenwix");
    }

    private LocalNames() {}

    /** The local path of a URL below root, '/'-separated; rawPath and rawQuery are URL text (escapes allowed). */
    private static native String name(String host, int port, String rawPath, String rawQuery);

    /** The raw path and query (null for none) a local path below the site part was saved from; null when unknown. */
    private static native String[] original(String path);

    /** The local path below root, with '/' between its parts. */
    static String relativeName(URL url) {
        // A URL may carry raw text ("a b", "\u00e9") or escapes ("a%20b"): both
        // are put in the escaped form the crawl requests, so they name one file.
        String host = url.getHost() == null ? "" : url.getHost();
        String query = url.getQuery();
        return name(host, url.getPort(), SavedLinks.escaped(url.getPath()),
                query == null ? null : SavedLinks.escaped(query));
    }

    static File localFile(File root, URL url) {
        return new File(root, relativeName(url).replace('/', File.separatorChar));
    }

    /**
     * The path and query (null for none) of the URL that a local path below
     * the site part ("/docs/x7fenwix.htm", "/news.html^page=2") was saved
     * from; null when the path is no name an earlier run can have written or
     * one that cannot be given back (cut short, folded).
     */
    static String[] originalOf(String localPath) {
        return original(localPath);
    }
}
