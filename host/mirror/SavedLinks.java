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
        // a site part written as a link ("127.0.0.1%208080") read back into host and port
        String authority = url.getAuthority();
        if (authority != null && authority.contains("%20")) {
            String site = decoded(authority).replaceFirst(" ", ":");
            url = new URL(url.getProtocol() + "://" + site + url.getFile() + (url.getRef() == null ? "" : "#" + url.getRef()));
        }
        // names hold no '?': a link with a query of its own names no saved file
        if (url.getQuery() != null) return url;
        String path = url.getPath();
        // a file that lives in the folder of its own name stands for that name
        String inFolder = "/" + FolderClash.FILE_NAME;
        if (path.endsWith(inFolder) && path.length() > inFolder.length()) {
            path = path.substring(0, path.length() - inFolder.length());
        }
        // this run's links are percent-encoded ("a%25b.html" names "a%b.html"), an earlier one's raw
        String[] saved = path.indexOf('%') < 0 ? null : LocalNames.originalOf(decoded(path));
        if (saved == null) saved = LocalNames.originalOf(path);
        return saved == null ? url : build(url, saved[0], saved[1]);
    }

    /** The URL with every character that may not stand in a URL percent-encoded (UTF-8). */
    static URL requestable(URL url) throws MalformedURLException {
        String path = url.getPath();
        String query = url.getQuery();
        String authority = url.getAuthority();
        // most links are requestable as they stand: asked for every link, so no copy of them is made
        if (authority != null && !authority.isEmpty() && !path.isEmpty() && !hasDotSegment(path) && clean(path)
                && (query == null || clean(query))) {
            return url;
        }
        return build(url, path, query);
    }

    private static boolean hasDotSegment(String path) {
        return path.contains("/./") || path.contains("/../") || path.endsWith("/.") || path.endsWith("/..");
    }

    /** Whether encode leaves the text as it is. */
    private static boolean clean(String s) {
        for (int i = 0; i < s.length(); i++) {
            if (!keptAsIs(s, i)) return false;
        }
        return true;
    }

    static URL build(URL url, String path, String query) throws MalformedURLException {
        StringBuilder b = new StringBuilder();
        b.append(url.getProtocol()).append("://");
        if (url.getAuthority() != null) b.append(url.getAuthority());
        // "/../x" is "/x", as every browser reads it: a server answers 400 to the first
        encode(b, path.isEmpty() ? "/" : withoutDotSegments(path));
        if (query != null) encode(b.append('?'), query);
        if (url.getRef() != null) b.append('#').append(url.getRef());
        String s = b.toString();
        return s.equals(url.toString()) ? url : new URL(s);
    }

    /**
     * An absolute path with its "." and ".." segments removed, those that climb
     * above the root included.
     */
    static String withoutDotSegments(String path) {
        if (!path.startsWith("/") || !hasDotSegment(path)) return path;
        String[] in = path.split("/", -1);
        java.util.ArrayDeque<String> out = new java.util.ArrayDeque<>();
        for (int i = 1; i < in.length; i++) {
            String seg = in[i];
            boolean last = i == in.length - 1;
            if (seg.equals(".")) {
                if (last) out.addLast("");
            } else if (seg.equals("..")) {
                out.pollLast();
                if (last) out.addLast("");
            } else {
                out.addLast(seg);
            }
        }
        return "/" + String.join("/", out);
    }

    /** The text with its percent-escapes read as UTF-8; the text as it is when they make no UTF-8. */
    static String decoded(String s) {
        if (s.indexOf('%') < 0) return s;
        java.io.ByteArrayOutputStream b = new java.io.ByteArrayOutputStream(s.length());
        byte[] raw = s.getBytes(StandardCharsets.UTF_8);
        for (int i = 0; i < raw.length; i++) {
            if (raw[i] == '%' && i + 2 < raw.length && isHex((char) raw[i + 1]) && isHex((char) raw[i + 2])) {
                b.write(Character.digit(raw[i + 1], 16) * 16 + Character.digit(raw[i + 2], 16));
                i += 2;
            } else {
                b.write(raw[i]);
            }
        }
        try {
            return StandardCharsets.UTF_8.newDecoder().decode(java.nio.ByteBuffer.wrap(b.toByteArray())).toString();
        } catch (java.nio.charset.CharacterCodingException e) {
            return s;
        }
    }

    /**
     * A relative path between saved files ('/' between names) as a link that
     * a browser reading files follows to the file: every character that a URL
     * reads otherwise ('%', '#', '?', blanks, quotes, '&' and ',' that pages
     * and srcset read, parentheses of CSS) percent-encoded as UTF-8.
     */
    static String fileLink(String relativePath) {
        StringBuilder b = new StringBuilder(relativePath.length() + 8);
        int slash = relativePath.indexOf('/');
        String first = slash < 0 ? relativePath : relativePath.substring(0, slash);
        // "a:b.html" would read as a scheme
        if (first.indexOf(':') >= 0) b.append("./");
        for (byte x : relativePath.getBytes(StandardCharsets.UTF_8)) {
            char c = (char) (x & 0xff);
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || "-._~!$*+;=:@/^".indexOf(c) >= 0) {
                b.append(c);
            } else {
                b.append('%').append(Character.toUpperCase(Character.forDigit((x >> 4) & 15, 16)))
                        .append(Character.toUpperCase(Character.forDigit(x & 15, 16)));
            }
        }
        return b.toString();
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
            if (keptAsIs(s, i)) {
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

    /** Whether the character at i stands in a URL as it is: an escape, or printable ASCII a URL may carry. */
    private static boolean keptAsIs(String s, int i) {
        char c = s.charAt(i);
        if (c == '%') return i + 2 < s.length() && isHex(s.charAt(i + 1)) && isHex(s.charAt(i + 2));
        return c > 32 && c < 127 && "\"<>\\^`{|}".indexOf(c) < 0;
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
