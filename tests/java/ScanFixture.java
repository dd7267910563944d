import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.io.IOException;
import java.net.URL;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.List;

/** A crawler and saved pages for the page scan, recording what the native calls on them. */
final class ScanFixture {
    private ScanFixture() {}

    /** A crawler that records the host calls of the page scan and the trees it is handed. */
    static class Crawler extends UrlLoad {
        final List<String> calls = new ArrayList<>();
        final List<x7Element> scanned = new ArrayList<>();

        Crawler(File root) {
            super(root);
        }

        @Override
        public void countBaseFileSlash() {
            calls.add("countBaseFileSlash");
            super.countBaseFileSlash();
        }

        @Override
        public void scan_html(x7Element root) {
            calls.add("scan_html base=" + baseURL + " count=" + baseFileSlashCount);
            scanned.add(root);
            super.scan_html(root);
        }

        @Override
        public void appendLog(String line) {
            calls.add("appendLog");
            super.appendLog(line);
        }
    }

    /** A saved page whose node records what is asked of it. */
    static class Page extends NodeURL {
        final List<String> calls = new ArrayList<>();
        boolean process = true;

        Page(URL url, File file) {
            super(0, -1, url, null);
            setLoadedFilename(file.getPath());
        }

        /** The constructor that link discovery uses for the nodes it makes. */
        Page(int level, int parent, URL url, String link) {
            super(level, parent, url, link);
        }

        @Override
        public boolean processHTML() {
            calls.add("processHTML");
            return process;
        }

        @Override
        public String getLoadedFilename() {
            calls.add("getLoadedFilename");
            return super.getLoadedFilename();
        }

        @Override
        public URL getURL() {
            calls.add("getURL");
            return super.getURL();
        }
    }

    /** Saves a page under the mirror's name for its URL and makes its node the one in hand. */
    static Page save(Crawler crawler, String url, String content) throws IOException {
        URL u = new URL(url);
        File f = crawler.localFileFor(u);
        f.getParentFile().mkdirs();
        Files.write(f.toPath(), content.getBytes(StandardCharsets.UTF_8));
        Page p = new Page(u, f);
        crawler.lURL = p;
        return p;
    }

    static String escaped(String s) {
        return s.replace("\n", "\\n");
    }
}
