import com.tolvak.fenwix.NodeURL;

import java.io.BufferedInputStream;
import java.io.BufferedOutputStream;
import java.io.DataInputStream;
import java.io.DataOutputStream;
import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.net.MalformedURLException;
import java.net.URL;
import java.nio.file.Files;
import java.nio.file.StandardCopyOption;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashMap;
import java.util.List;
import java.util.Map;

/**
 * The links that the page scan found in each saved page, kept in the mirror's
 * folder from one run to the next. An update asks the server about every page
 * again; a page that is unchanged there and, byte for byte, on disk has the
 * links it had, so they are taken from here instead of reading the page into
 * its tree once more. Any doubt (another page, another base, another default
 * encoding, a record that cannot be read) means the page is scanned as usual.
 */
final class LinkRecords {
    private static final String MAGIC = "x7fenwix links 2";

    /** One link as the scan added it to the crawl list. */
    static final class Link {
        final int increment;  // its level less the page's level
        final boolean fromSavedPage;
        final String url;
        final String text;

        Link(int increment, boolean fromSavedPage, String url, String text) {
            this.increment = increment;
            this.fromSavedPage = fromSavedPage;
            this.url = url;
            this.text = text;
        }
    }

    /** The links of one page, found when the page had the given digest. */
    static final class Record {
        final String base;
        final String encoding;
        final List<Link> links;
        byte[] digest;  // null until the run's end settles the page's bytes

        Record(String base, String encoding, List<Link> links, byte[] digest) {
            this.base = base;
            this.encoding = encoding;
            this.links = links;
            this.digest = digest;
        }
    }

    private final File root;
    private final java.nio.file.Path rootPath;  // absolute and normal, for the paths below it
    private final Map<String, Record> records = new HashMap<>();
    /** Pages scanned in this run, by path below the root: their digests are taken at the end. */
    private final List<String> scanned = new ArrayList<>();
    /** Pages whose links were taken from the records in this run. */
    int replayed;
    /**
     * One copy of each URL and link text of the records: a site links each
     * of its pages from many others, and with a copy per link the records
     * would grow with the links, not the URLs.
     */
    private final Map<String, String> texts = new HashMap<>();

    private String shared(String s) {
        if (s == null) return null;
        String had = texts.putIfAbsent(s, s);
        return had != null ? had : s;
    }

    private LinkRecords(File root) {
        this.root = root;
        rootPath = root.getAbsoluteFile().toPath().normalize();
    }

    /** The records kept in root; none when there are none or they cannot be read. */
    static LinkRecords load(File root) {
        LinkRecords r = new LinkRecords(root);
        File f = new File(root, OutFiles.RECORDS_NAME);
        if (!f.isFile()) return r;
        try (DataInputStream in = new DataInputStream(new BufferedInputStream(Files.newInputStream(f.toPath())))) {
            if (!MAGIC.equals(in.readUTF())) return r;
            int pages = in.readInt();
            Map<String, Record> read = new HashMap<>();
            for (int p = 0; p < pages; p++) {
                String path = string(in);
                byte[] digest = new byte[in.readUnsignedByte()];
                in.readFully(digest);
                String base = string(in);
                String encoding = string(in);
                if (path == null || base == null || encoding == null) throw new IOException("incomplete record");
                int n = in.readInt();
                if (n < 0) throw new IOException("bad count");
                List<Link> links = new ArrayList<>(Math.min(n, 1 << 16));
                for (int i = 0; i < n; i++) {
                    int inc = in.readInt();
                    boolean saved = in.readBoolean();
                    links.add(new Link(inc, saved, r.shared(string(in)), r.shared(string(in))));
                }
                read.put(path, new Record(base, encoding, links, digest));
            }
            r.records.putAll(read);
        } catch (IOException | RuntimeException e) {
            // a damaged record file costs only the scans it would have saved
        }
        return r;
    }

    /**
     * Adds the recorded links of a page to the crawl list, as the scan would
     * add them, when the record holds for the page as it is; false, with the
     * list unchanged, when the page is to be scanned.
     */
    boolean replay(NodeURL page, int parentIndex, List<NodeURL> crawlList) {
        String path = below(page.getLoadedFilename());
        Record r;
        synchronized (this) {
            r = path == null ? null : records.get(path);
        }
        // scans run on several threads: the page is read and digested outside the lock
        if (r == null || r.digest == null || page.getURL() == null) return false;
        if (!r.base.equals(page.getURL().toString()) || !r.encoding.equals(PageCharset.of(page).name())) return false;
        byte[] now = digest(new File(page.getLoadedFilename()));
        if (now == null || !Arrays.equals(now, r.digest)) return false;
        List<NodeURL> nodes = new ArrayList<>(r.links.size());
        try {
            for (Link l : r.links) {
                NodeURL n = new NodeURL(page.getLevel() + l.increment, parentIndex, new URL(l.url), l.text);
                n.setFromSavedPage(l.fromSavedPage);
                nodes.add(n);
            }
        } catch (MalformedURLException e) {
            return false;
        }
        crawlList.addAll(nodes);
        synchronized (this) {
            replayed++;
        }
        return true;
    }

    /** The links that a scan of page added to the crawl list, in their order. */
    synchronized void found(NodeURL page, List<NodeURL> added) {
        String path = below(page.getLoadedFilename());
        if (path == null || page.getURL() == null) return;
        List<Link> links = new ArrayList<>(added.size());
        for (NodeURL n : added) {
            if (n.getURL() == null) return;  // nothing to record it by
            links.add(new Link(n.getLevel() - page.getLevel(), n.isFromSavedPage(), shared(n.getURL().toString()),
                    shared(n.getString())));
        }
        records.put(path, new Record(page.getURL().toString(), PageCharset.of(page).name(), links, null));
        scanned.add(path);
    }

    /**
     * Pages that the rewrite pass wrote back: their links now name the saved
     * files, which the crawl reads back into the URLs recorded for them, so
     * their records hold for their new bytes.
     */
    synchronized void rewritten(Iterable<String> files) {
        for (String f : files) {
            String path = below(f);
            Record r = path == null ? null : records.get(path);
            if (r == null) continue;
            r.digest = null;
            scanned.add(path);
        }
    }

    /**
     * Writes the records, each page scanned (or rewritten) in this run with the digest of its
     * bytes as they are now, after the rewrite pass. Written beside and renamed
     * over the old file, so that a crash leaves one or the other.
     */
    synchronized void save() throws IOException {
        if (scanned.isEmpty()) return;  // the records on disk hold as they are
        Map<String, byte[]> digests = new java.util.concurrent.ConcurrentHashMap<>();
        scanned.parallelStream().distinct().forEach(path -> {
            byte[] d = digest(new File(root, path));
            if (d != null) digests.put(path, d);
        });
        for (String path : scanned) {
            Record r = records.get(path);
            if (r != null && r.digest == null) r.digest = digests.get(path);
        }
        scanned.clear();
        records.values().removeIf(r -> r.digest == null);
        File f = new File(root, OutFiles.RECORDS_NAME);
        File tmp = new File(root, OutFiles.RECORDS_NAME + ".tmp");
        try (DataOutputStream out = new DataOutputStream(new BufferedOutputStream(new FileOutputStream(tmp)))) {
            out.writeUTF(MAGIC);
            out.writeInt(records.size());
            for (Map.Entry<String, Record> e : records.entrySet()) {
                Record r = e.getValue();
                string(out, e.getKey());
                out.writeByte(r.digest.length);
                out.write(r.digest);
                string(out, r.base);
                string(out, r.encoding);
                out.writeInt(r.links.size());
                for (Link l : r.links) {
                    out.writeInt(l.increment);
                    out.writeBoolean(l.fromSavedPage);
                    string(out, l.url);
                    string(out, l.text);
                }
            }
        } catch (IOException e) {
            tmp.delete();
            throw e;
        }
        Files.move(tmp.toPath(), f.toPath(), StandardCopyOption.ATOMIC_MOVE, StandardCopyOption.REPLACE_EXISTING);
    }

    /** The path of a saved file below the root, with '/' between its names; null outside it. */
    private String below(String loadedFilename) {
        if (loadedFilename == null) return null;
        java.nio.file.Path p;
        try {
            p = new File(loadedFilename).getAbsoluteFile().toPath().normalize();
        } catch (java.nio.file.InvalidPathException e) {
            return null;  // no record for a name the platform cannot hold
        }
        if (!p.startsWith(rootPath) || p.equals(rootPath)) return null;
        return rootPath.relativize(p).toString().replace(File.separatorChar, '/');
    }

    /** SHA-256 of a file's bytes; null when it cannot be read. */
    static byte[] digest(File f) {
        MessageDigest md;
        try {
            md = MessageDigest.getInstance("SHA-256");
        } catch (NoSuchAlgorithmException e) {
            return null;
        }
        byte[] buf = new byte[1 << 16];
        try (InputStream in = Files.newInputStream(f.toPath())) {
            for (int n; (n = in.read(buf)) > 0; ) md.update(buf, 0, n);
        } catch (IOException | RuntimeException e) {
            return null;
        }
        return md.digest();
    }

    // Strings of any length and any characters (a link text may be long, or
    // hold a lone surrogate): a count of UTF-16 units, then the units in
    // pieces of modified UTF-8, which keeps every unit as it is.
    private static final int PIECE = 16_000;

    private static void string(DataOutputStream out, String s) throws IOException {
        out.writeInt(s == null ? -1 : s.length());
        if (s == null) return;
        for (int at = 0; at < s.length(); at += PIECE) out.writeUTF(s.substring(at, Math.min(s.length(), at + PIECE)));
    }

    private static String string(DataInputStream in) throws IOException {
        int n = in.readInt();
        if (n < 0) return null;
        StringBuilder b = new StringBuilder(Math.min(n, PIECE));
        while (b.length() < n) {
            String piece = in.readUTF();
            if (piece.isEmpty()) throw new IOException("damaged string");
            b.append(piece);
        }
        if (b.length() != n) throw new IOException("damaged string");
        return b.toString();
    }
}
