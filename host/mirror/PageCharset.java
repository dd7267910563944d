import com.tolvak.fenwix.NodeURL;

import java.io.FileInputStream;
import java.io.IOException;
import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

/** The charset a page is read in: its Content-Type's, else its meta tag's, else UTF-8. */
final class PageCharset {
    private static final Pattern PARAM = Pattern.compile("charset\\s*=\\s*[\"']?([A-Za-z0-9._:-]+)",
            Pattern.CASE_INSENSITIVE);

    private PageCharset() {}

    /** The charset named by a Content-Type value or a meta tag's text; null for none this JVM knows. */
    static Charset named(String text) {
        if (text == null) return null;
        Matcher m = PARAM.matcher(text);
        if (!m.find()) return null;
        try {
            return Charset.forName(m.group(1));
        } catch (IllegalArgumentException e) {
            return null;
        }
    }

    /** The page's charset, settled once and kept with its node. */
    static Charset of(NodeURL page) {
        Charset cs = named(page.getCharset() == null ? null : "charset=" + page.getCharset());
        if (cs == null) cs = fromMeta(page.getLoadedFilename());
        if (cs == null) cs = StandardCharsets.UTF_8;
        page.setCharset(cs.name());
        return cs;
    }

    /** As of(page), with the page's bytes as they are now in hand: none read again. */
    static Charset of(NodeURL page, byte[] bytes) {
        Charset cs = named(page.getCharset() == null ? null : "charset=" + page.getCharset());
        if (cs == null) cs = fromMeta(bytes, Math.min(bytes.length, HEAD));
        if (cs == null) cs = StandardCharsets.UTF_8;
        page.setCharset(cs.name());
        return cs;
    }

    /** How far into a page its meta tag is looked for. */
    static final int HEAD = 4096;

    /** The charset of a meta tag in the page's first kilobytes, as browsers look for it. */
    private static Charset fromMeta(String file) {
        if (file == null) return null;
        byte[] head = new byte[HEAD];
        int n;
        try (FileInputStream in = new FileInputStream(file)) {
            n = in.readNBytes(head, 0, head.length);
        } catch (IOException | RuntimeException e) {
            return null;
        }
        return fromMeta(head, n);
    }

    private static Charset fromMeta(byte[] head, int n) {
        // "<meta" in any case, found in the bytes: only the tags are made text
        for (int at = 0; at + 5 <= n; at++) {
            if (head[at] != '<' || (head[at + 1] | 0x20) != 'm' || (head[at + 2] | 0x20) != 'e'
                    || (head[at + 3] | 0x20) != 't' || (head[at + 4] | 0x20) != 'a') {
                continue;
            }
            int end = at + 5;
            while (end < n && head[end] != '>') end++;
            Charset cs = named(new String(head, at, end - at, StandardCharsets.ISO_8859_1));
            if (cs != null) return cs;
        }
        return null;
    }
}
