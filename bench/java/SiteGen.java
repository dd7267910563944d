import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.List;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

/** Synthetic input built from the sqlite HTML: big pages for the tag reader, sites of n pages for the mirror. */
final class SiteGen {
    private SiteGen() {}

    /** The sqlite pages one after another until there are at least size bytes. */
    static byte[] corpus(List<byte[]> sqlite, int size) {
        ByteArrayOutputStream out = new ByteArrayOutputStream(size + 65536);
        for (int i = 0; out.size() < size; i++) {
            byte[] p = sqlite.get(i % sqlite.size());
            out.write(p, 0, p.length);
        }
        return out.toByteArray();
    }

    /**
     * The first total bytes of a text cut into pages of about size bytes, each
     * cut after a '>' so that it ends with a whole tag: every page size gets
     * the same text, only the page ends differ.
     */
    static List<byte[]> slices(byte[] text, int total, int size) {
        List<byte[]> pages = new java.util.ArrayList<>();
        int from = 0;
        while (from < Math.min(total, text.length)) {
            int end = Math.min(from + size, text.length);
            while (end < text.length && text[end - 1] != '>') end++;
            pages.add(java.util.Arrays.copyOfRange(text, from, end));
            from = end;
        }
        return pages;
    }

    private static final Pattern HREF = Pattern.compile("(?i)(href\\s*=\\s*)(\"[^\"]*\"|'[^']*'|[^\\s>]+)");
    private static final Pattern SRC = Pattern.compile("(?i)(src\\s*=\\s*)(\"[^\"]*\"|'[^']*'|[^\\s>]+)");

    /**
     * A site of n pages of about 5 KB each under dir: index.html links to
     * p0.html, page i links to page i+1 (so every page is reached) and, in
     * place of the links of the sqlite text it carries, to pages picked by a
     * fixed hash; every image is the one logo.gif.
     */
    static void site(File dir, List<byte[]> sqlite, int n, byte[] logo) throws IOException {
        dir.mkdirs();
        Files.write(new File(dir, "logo.gif").toPath(), logo);
        Files.writeString(new File(dir, "index.html").toPath(),
                "<html><head><title>Site of " + n + " pages</title></head><body><a href=\"p0.html\">first page</a>"
                        + "</body></html>\n", StandardCharsets.ISO_8859_1);
        for (int i = 0; i < n; i++) {
            String text = new String(sqlite.get(i % sqlite.size()), StandardCharsets.ISO_8859_1);
            int body = text.toLowerCase(java.util.Locale.ROOT).indexOf("<body");
            int from = body < 0 ? 0 : body;
            int to = Math.min(text.length(), from + 5000);
            while (to < text.length() && text.charAt(to - 1) != '>') to++;
            String slice = text.substring(from, to);
            slice = relink(slice, i, n);
            slice = SRC.matcher(slice).replaceAll("$1\"logo.gif\"");
            String page = "<html><head><title>Page " + i + "</title></head>\n" + slice
                    + "\n<p><a href=\"p" + ((i + 1) % n) + ".html\">next</a></p></body></html>\n";
            Files.writeString(new File(dir, "p" + i + ".html").toPath(), page, StandardCharsets.ISO_8859_1);
        }
    }

    /**
     * A site of n small pages under dir, each with links links (about 45
     * bytes each) to pages picked by a fixed hash, a link to the next page (so
     * every page is reached) and the one logo.gif: n * links links to n + 2
     * distinct URLs, the shape that tells memory per link from memory per URL.
     */
    static void linkSite(File dir, int n, int links, byte[] logo) throws IOException {
        dir.mkdirs();
        Files.write(new File(dir, "logo.gif").toPath(), logo);
        Files.writeString(new File(dir, "index.html").toPath(),
                "<html><head><title>Site of " + n + " pages</title></head><body><a href=\"p0.html\">first page</a>"
                        + "</body></html>\n", StandardCharsets.ISO_8859_1);
        StringBuilder b = new StringBuilder();
        for (int i = 0; i < n; i++) {
            b.setLength(0);
            b.append("<html><head><title>Page ").append(i).append("</title></head><body>\n<h1>Page ").append(i)
                    .append("</h1><img src=\"logo.gif\" alt=\"logo\">\n<ul>\n");
            for (int k = 0; k < links; k++) {
                long target = Math.floorMod((long) i * 7919 + (long) k * 104729 + 17, (long) n);
                b.append("<li><a href=\"p").append(target).append(".html\">page ").append(target).append("</a></li>\n");
            }
            b.append("</ul>\n<p><a href=\"p").append((i + 1) % n).append(".html\">next</a></p></body></html>\n");
            Files.writeString(new File(dir, "p" + i + ".html").toPath(), b, StandardCharsets.ISO_8859_1);
        }
    }

    private static String relink(String s, int page, int n) {
        Matcher m = HREF.matcher(s);
        StringBuilder b = new StringBuilder();
        int k = 0;
        while (m.find()) {
            int target = (int) Math.floorMod((long) page * 7919 + (long) k * 104729 + 17, (long) n);
            k++;
            m.appendReplacement(b, Matcher.quoteReplacement(m.group(1) + "\"p" + target + ".html\""));
        }
        m.appendTail(b);
        return b.toString();
    }
}
