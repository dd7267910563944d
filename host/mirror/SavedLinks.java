import java.io.File;
import java.io.IOException;
import java.net.MalformedURLException;
import java.net.URL;
import java.nio.charset.StandardCharsets;
import java.nio.file.Path;

/**
 * URLs as the crawl requests them. Links of a page that an earlier run saved
 * and rewrote name local files; they are read back into the URLs those files
 * were saved from. And no URL goes out with a character that a request line
 * may not carry.
 */
final class SavedLinks {
    private SavedLinks() {}

    /**
     * The URL that a link of a rewritten page stood for: a local name read
     * back into the path and query it was saved from ("news.html^page=2" is
     * "news.html?page=2", "docs/x7fenwix.htm" is "docs/", "a_5F1.html" is
     * "a_1.html"). A link that is no such name (a web address the rewrite left
     * as it was, a name cut short) stays as it is.
     */
    static URL original(URL url) throws MalformedURLException {
        // names hold no '?': a link with a query of its own names no saved file
        if (url.getQuery() != null) return url;
        String path = url.getPath();
        // a file that lives in the folder of its own name stands for that name
        String inFolder = "/" + FolderClash.FILE_NAME;
        if (path.endsWith(inFolder) && path.length() > inFolder.length()) {
            path = path.substring(0, path.length() - inFolder.length());
        }
        String[] saved = LocalNames.originalOf(path);
        return saved == null ? url : build(url, saved[0], saved[1]);
    }

    /** The URL with every character that may not stand in a URL percent-encoded (UTF-8). */
    static URL requestable(URL url) throws MalformedURLException {
        return build(url, url.getPath(), url.getQuery());
    }

    private static URL build(URL url, String path, String query) throws MalformedURLException {
        StringBuilder b = new StringBuilder();
        b.append(url.getProtocol()).append("://");
        if (url.getAuthority() != null) b.append(url.getAuthority());
        encode(b, path.isEmpty() ? "/" : path);
        if (query != null) encode(b.append('?'), query);
        if (url.getRef() != null) b.append('#').append(url.getRef());
        String s = b.toString();
        return s.equals(url.toString()) ? url : new URL(s);
    }

    /** The text with every character that may not stand in a URL percent-encoded (UTF-8); escapes kept. */
    static String escaped(String s) {
        StringBuilder b = new StringBuilder(s.length());
        encode(b, s);
        return b.toString();
    }

    private static void encode(StringBuilder b, String s) {
        for (int i = 0; i < s.length(); i++) {
            char c = s.charAt(i);
            if (c == '%' && i + 2 < s.length() && isHex(s.charAt(i + 1)) && isHex(s.charAt(i + 2))) {
                b.append(c);
            } else if (c > 32 && c < 127 && "\"<>\\^`{|}%".indexOf(c) < 0) {
                b.append(c);
            } else {
                int end = Character.isHighSurrogate(c) && i + 1 < s.length() ? i + 2 : i + 1;
                for (byte x : s.substring(i, end).getBytes(StandardCharsets.UTF_8)) {
                    b.append('%').append(Character.toUpperCase(Character.forDigit((x >> 4) & 15, 16)))
                            .append(Character.toUpperCase(Character.forDigit(x & 15, 16)));
                }
                i = end - 1;
            }
        }
    }

    private static boolean isHex(char c) {
        return Character.digit(c, 16) >= 0;
    }

    /** True when a file begins as an HTML page does (within its first kilobyte). */
    static boolean startsLikePage(File f) {
        byte[] head = new byte[1024];
        int n;
        try (java.io.FileInputStream in = new java.io.FileInputStream(f)) {
            n = in.readNBytes(head, 0, head.length);
        } catch (IOException e) {
            return false;
        }
        String s = new String(head, 0, n, StandardCharsets.ISO_8859_1).toLowerCase(java.util.Locale.ROOT);
        String t = s.replaceFirst("^(\u00ef\u00bb\u00bf)?\\s*", "");
        if (!t.startsWith("<")) return false;
        return s.contains("<!doctype html") || s.contains("<html") || s.contains("<head") || s.contains("<body")
                || s.contains("<frameset");
    }

    /**
     * True when a local file lies below root once every link of the path is
     * followed, so that nothing is ever written outside the mirror's folder.
     */
    static boolean inside(File root, File file) {
        return whyNotInside(root, file) == null;
    }

    /** Null when a local file lies below root; else why it cannot be written there, for the log. */
    static String whyNotInside(File root, File file) {
        try {
            Path r = root.getCanonicalFile().toPath();
            Path f = file.getCanonicalFile().toPath();
            return f.startsWith(r) && !f.equals(r) ? null : "outside the mirror";
        } catch (IOException | SecurityException | java.nio.file.InvalidPathException e) {
            return "that cannot be named here (" + Causes.of(e) + ")";
        }
    }
}
