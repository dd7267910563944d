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
}
