import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;
import java.util.List;
import java.util.stream.Collectors;

import org.junit.jupiter.api.Test;

/** A page is read in the charset it declares, so its links name what the page means. */
class PageCharsetTest {
    /** The targets a crawl of one page requests, the page served with the given Content-Type. */
    static List<String> requested(String contentType, byte[] page) throws Exception {
        try (ScriptedServer server = new ScriptedServer(r -> r.target.equals("/")
                ? ScriptedServer.answer("200 OK", page, "Content-Type: " + contentType)
                : ScriptedServer.answer("404 Not Found", new byte[0]))) {
            UrlLoad crawler = new UrlLoad(Jvm.tempDir("charset"));
            crawler.addStart(server.url("/"));
            new Crawl(crawler).run(n -> true, n -> { });
            return server.requests.stream().map(r -> r.target).collect(Collectors.toList());
        }
    }

    @Test
    void linksOfALatin1PageAreReadInLatin1() throws Exception {
        byte[] page = "<html><body><a href=\"caf\u00e9.html\">x</a></body></html>".getBytes(StandardCharsets.ISO_8859_1);
        // by its Content-Type, and by its meta tag when the header names none
        List<String> byHeader = requested("text/html; charset=ISO-8859-1", page);
        assertTrue(byHeader.contains("/caf%C3%A9.html"), byHeader.toString());
        byte[] meta = ("<html><head><meta charset=\"iso-8859-1\"></head><body><a href=\"caf\u00e9.html\">x</a>"
                + "</body></html>").getBytes(StandardCharsets.ISO_8859_1);
        List<String> byMeta = requested("text/html", meta);
        assertTrue(byMeta.contains("/caf%C3%A9.html"), byMeta.toString());
    }

    @Test
    void theMetaTagIsFoundAsALowerCasedSearchFindsIt() throws Exception {
        // the model: the head lower-cased, searched for "<meta", each tag up to its '>' asked for a charset
        String[] pieces = {"<meta charset=utf-8>", "<META CHARSET='ISO-8859-2'>", "<Meta http-equiv=Content-Type",
            " content=\"text/html; Charset=windows-1252\">", "<meta", "<met", "a", ">", "<", " charset=koi8-r",
            "charset=nonesuch", "\u00cdMETA", "<\u00e9meta", "x".repeat(700), "<metacharset=utf-16le>"};
        java.util.Random r = new java.util.Random(4);
        for (int i = 0; i < 3_000; i++) {
            StringBuilder b = new StringBuilder();
            for (int n = r.nextInt(12); n >= 0; n--) b.append(pieces[r.nextInt(pieces.length)]);
            byte[] page = b.toString().getBytes(StandardCharsets.ISO_8859_1);
            java.nio.charset.Charset want = StandardCharsets.UTF_8;
            String s = new String(page, 0, Math.min(page.length, 4096), StandardCharsets.ISO_8859_1)
                    .toLowerCase(java.util.Locale.ROOT);
            for (int at = s.indexOf("<meta"); at >= 0; at = s.indexOf("<meta", at + 5)) {
                int end = s.indexOf('>', at);
                java.nio.charset.Charset cs = PageCharset.named(s.substring(at, end < 0 ? s.length() : end));
                if (cs != null) {
                    want = cs;
                    break;
                }
            }
            com.tolvak.fenwix.NodeURL node = new com.tolvak.fenwix.NodeURL(0, -1, new java.net.URL("http://h/"), null);
            org.junit.jupiter.api.Assertions.assertEquals(want, PageCharset.of(node, page), b.toString());
        }
    }
}
