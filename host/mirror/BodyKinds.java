import java.io.File;
import java.net.URLConnection;
import java.util.Locale;

/** What an answer's body is (page, stylesheet, script) and the time it carries. */
final class BodyKinds {
    private BodyKinds() {}

    static long serverTime(URLConnection conn) {
        // Without Last-Modified the answer's own date stands in, so that the
        // copy is checked again next time rather than taken for current.
        long t = HttpDates.of(conn, "Last-Modified");
        long date = HttpDates.of(conn, "Date");
        long now = date > 0 ? date : System.currentTimeMillis();
        // A time ahead of the answer's own would stamp the copy in the future,
        // and no later update would see a change.
        return t > 0 ? Math.min(t, now) : now;
    }

    static boolean isStylesheet(String type, File f) {
        if (type != null && type.toLowerCase(Locale.ROOT).startsWith("text/css")) return true;
        return (type == null || type.isEmpty() || type.toLowerCase(Locale.ROOT).startsWith("text/plain")
                || type.toLowerCase(Locale.ROOT).startsWith("application/octet-stream"))
                && (f.getName().toLowerCase(Locale.ROOT).endsWith(".css") || f.getName().toLowerCase(Locale.ROOT).contains(".css^"));
    }

    static boolean isScript(String type, File f) {
        String t = type == null ? "" : type.toLowerCase(Locale.ROOT);
        if (t.contains("javascript") || t.contains("ecmascript")) return true;
        String n = f.getName().toLowerCase(Locale.ROOT);
        return (t.isEmpty() || t.startsWith("text/plain") || t.startsWith("application/octet-stream"))
                && (n.endsWith(".js") || n.endsWith(".mjs") || n.contains(".js^"));
    }

    static boolean looksLikePage(File f) {
        String n = f.getName().toLowerCase(Locale.ROOT);
        // a page saved under another name ("list.php", "news.html^page=2") is
        // told by its first bytes
        return n.endsWith(".htm") || n.endsWith(".html") || SavedLinks.startsLikePage(f);
    }
}
