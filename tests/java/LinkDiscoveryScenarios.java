import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.net.URL;
import java.util.ArrayList;
import java.util.List;

/**
 * Child JVM scenarios of link discovery whose messages go to standard output,
 * and whose exceptions are described on the error channel.
 */
public class LinkDiscoveryScenarios {
    static int made;

    /** A page in hand whose level cannot be had. */
    static class NoLevel extends NodeURL {
        NoLevel(int level, int parent, URL url, String link) {
            super(level, parent, url, link);
            made++;
        }

        @Override
        public int getLevel() {
            throw new IllegalStateException("level unknown");
        }
    }

    /** A page in hand whose class refuses to make the nodes of its links. */
    static class Refusing extends NodeURL {
        Refusing(int level, int parent, URL url, String link) {
            super(level, parent, url, link);
            if (link != null) throw new IllegalArgumentException("no node today");
        }
    }

    /** A page in hand whose class has no constructor for new nodes. */
    static class Bare extends NodeURL {
        Bare(URL url) {
            super(0, -1, url, null);
        }
    }

    public static void main(String[] args) throws Exception {
        URL base = new URL("http://h.test/d/page.htm");
        x7Element anchor = new x7Element("<a href=x.htm>");

        System.out.println("== add false");
        UrlLoad crawler = crawler(base, new NodeURL(0, -1, base, null));
        int[] offered = {0};
        crawler.urlToLoad = new ArrayList<NodeURL>() {
            @Override
            public boolean add(NodeURL n) {
                offered[0]++;
                return false;
            }
        };
        crawler.chuekia(anchor, "a");
        System.out.println("returned, offered=" + offered[0]);

        System.out.println("== getLevel throws");
        crawler = crawler(base, new NoLevel(0, -1, base, null));
        made = 0;
        crawler.chuekia(anchor, "a");
        System.out.println("returned, nodes=" + crawler.urlToLoad.size() + " made=" + made);

        System.out.println("== constructor throws");
        crawler = crawler(base, new Refusing(0, -1, base, null));
        crawler.chuekia(anchor, "a");
        System.out.println("returned, nodes=" + crawler.urlToLoad.size());

        System.out.println("== no such constructor");
        crawler = crawler(base, new Bare(base));
        crawler.chuekia(anchor, "a");
        System.out.println("returned, nodes=" + crawler.urlToLoad.size());

        System.out.println("== add throws");
        crawler = crawler(base, new NodeURL(0, -1, base, null));
        crawler.urlToLoad = List.of();
        crawler.chuekia(anchor, "a");
        System.out.println("returned");
    }

    private static UrlLoad crawler(URL base, NodeURL inHand) {
        UrlLoad c = new UrlLoad(new File("."));
        c.baseURL = base;
        c.lURL = inHand;
        return c;
    }
}
