import com.tolvak.fenwix.NodeURL;

import java.io.BufferedOutputStream;
import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.io.RandomAccessFile;
import java.net.MalformedURLException;
import java.net.URL;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.concurrent.atomic.AtomicLongArray;
import java.util.zip.CRC32;
import java.util.zip.DataFormatException;
import java.util.zip.Deflater;
import java.util.zip.DeflaterOutputStream;
import java.util.zip.Inflater;

/**
 * The links that the page scan found in each saved page, kept in the mirror's
 * folder from one run to the next. An update asks the server about every page
 * again; a page that is unchanged there and, byte for byte, on disk has the
 * links it had, so they are taken from here instead of reading the page into
 * its tree once more. Any doubt (another page, another base, another default
 * encoding, a record that cannot be read) means the page is scanned as usual.
 *
 * <p>The file: a header, the links of each page in a block of its own, then,
 * deflated (its URLs repeat their hosts and folders), a table of the distinct
 * strings (URLs, link texts, bases, encodings) and an index of the pages
 * (path, digest, base, encoding, block), then a trailer that finds them. A
 * link is a byte of flags, its URL as the step from the URL id before it, and
 * its text only when it is not the one its URL had first. Only the table and
 * the index are held in memory: the links of a page are read when the page is
 * replayed, and links found in this run go to a spool file as they come.
 * Blocks and the table carry a CRC.
 */
final class LinkRecords {
    private static final byte[] MAGIC = "x7fenwix links 3\n".getBytes(StandardCharsets.US_ASCII);
    /** Table offset, its length deflated and inflated, the CRC of its bytes as stored, and an end mark. */
    private static final int TRAILER = 8 + 4 + 4 + 4 + 4;
    private static final int END = 0x78376c6b;
    private static final String SPOOL_NAME = OutFiles.RECORDS_SPOOL_NAME;
    /** A text id that stands for no text at all, and a URL that has no first text yet. */
    private static final int NO_TEXT = -1;
    private static final int UNSET = -2;

    /** Where the links of one page are kept, and the page they hold for. */
    private static final class Page {
        final String base;
        final String encoding;
        final boolean spooled;  // in this run's spool, else in the file loaded
        final long offset;
        final int length;
        final int crc;
        byte[] digest;  // null until the run's end settles the page's bytes

        Page(String base, String encoding, boolean spooled, long offset, int length, int crc, byte[] digest) {
            this.base = base;
            this.encoding = encoding;
            this.spooled = spooled;
            this.offset = offset;
            this.length = length;
            this.crc = crc;
            this.digest = digest;
        }
    }

    /** The links of one page as kept: level step, from a saved page, URL and text. */
    private static final class Links {
        int n;
        int[] step = new int[16];
        boolean[] saved = new boolean[16];
        String[] url = new String[16];
        String[] text = new String[16];
        /** The URL's id in the table it was read from; -1 for a link found in this run. */
        int[] urlId = new int[16];

        void add(int st, boolean sv, String u, String t) {
            add(st, sv, u, t, -1);
        }

        void add(int st, boolean sv, String u, String t, int id) {
            if (n == url.length) {
                int m = n * 2;
                step = Arrays.copyOf(step, m);
                saved = Arrays.copyOf(saved, m);
                url = Arrays.copyOf(url, m);
                text = Arrays.copyOf(text, m);
                urlId = Arrays.copyOf(urlId, m);
            }
            step[n] = st;
            saved[n] = sv;
            url[n] = u;
            text[n] = t;
            urlId[n] = id;
            n++;
        }
    }

    /**
     * Strings by id as a file gives them, with the text each URL had first
     * (NO_TEXT for none, UNSET for a string never used as a URL).
     */
    private static class Strings {
        String[] strings;
        int[] first;
        int size;

        Strings(String[] strings, int[] first) {
            this.strings = strings;
            this.first = first;
            size = strings.length;
        }
    }

    /** Strings given ids as they come, for writing. */
    private static final class Table extends Strings {
        private final Map<String, Integer> ids = new HashMap<>();

        Table() {
            super(new String[64], new int[64]);
            size = 0;
        }

        int id(String s) {
            Integer had = ids.get(s);
            if (had != null) return had;
            if (size == strings.length) {
                strings = Arrays.copyOf(strings, size * 2);
                first = Arrays.copyOf(first, size * 2);
            }
            strings[size] = s;
            first[size] = UNSET;
            ids.put(s, size);
            return size++;
        }

        /** The table's own copy of s, one for all its uses. */
        String shared(String s) {
            int i = id(s);  // before the array, which id may replace
            return strings[i];
        }
    }

    private final File root;
    private final java.nio.file.Path rootPath;  // absolute and normal, for the paths below it
    private final Map<String, Page> pages = new HashMap<>();
    /** Pages scanned in this run, by path below the root: their digests are taken at the end. */
    private final List<String> scanned = new ArrayList<>();
    /** Pages whose links were taken from the records in this run. */
    int replayed;

    /** The file loaded and its strings: the blocks of its pages are read from it as they are replayed. */
    private RandomAccessFile loaded;
    private Strings loadedStrings = new Strings(new String[0], new int[0]);
    /**
     * For each URL of the table loaded (by its key: keyOf), from a saved page
     * or not: a level at or above which the crawl list drops a link to it (Integer.MAX_VALUE
     * while none is known). The crawl writes it as links of replayed pages
     * join its list, the replays on other threads read it: a value seen late
     * only means a link made and then dropped, as before, since the level
     * the list keeps for a URL only falls.
     */
    private int[] droppedFromSaved = new int[0];
    private int[] droppedFromWeb = new int[0];
    /** The number of each string of the table loaded as the crawl list's URL (keys), for the notes. */
    private int[] keyOf = new int[0];
    /**
     * For each URL of the table loaded, by its key, from a saved page or not
     * (at 2 key + 1 and 2 key): the earliest page whose replay made a link to it, by its place
     * in the crawl list, and that link's level (note).
     * Replayed links join the list in page order, and the list drops a link
     * to a URL it keeps at that level or lower: a later page's link at that
     * level or deeper is not made either. Written and read by the replays.
     */
    private AtomicLongArray madeBy = new AtomicLongArray(0);
    private static final long NONE = Long.MAX_VALUE;
    /** The links found in this run, one block a page, and the strings they use. */
    private RandomAccessFile spool;
    private long spoolEnd;
    private final Table run = new Table();
    private final RecordBytes.Out block = new RecordBytes.Out();

    private LinkRecords(File root) {
        this.root = root;
        rootPath = root.getAbsoluteFile().toPath().normalize();
    }

    /**
     * The records kept in root; none when there are none or they cannot be
     * read. Only reads: the file is replaced by renaming, so a run that does
     * not hold OUT's lock yet reads whole records, of before or after a save.
     */
    static LinkRecords load(File root) {
        LinkRecords r = new LinkRecords(root);
        File f = new File(root, OutFiles.RECORDS_NAME);
        if (!f.isFile()) return r;
        RandomAccessFile in = null;
        try {
            in = new RandomAccessFile(f, "r");
            long size = in.length();
            byte[] head = new byte[MAGIC.length];
            if (size < MAGIC.length + TRAILER) return r;
            in.readFully(head);
            if (!Arrays.equals(head, MAGIC)) return r;  // another format, or none
            in.seek(size - TRAILER);
            long tableAt = in.readLong();
            int stored = in.readInt();
            int inflated = in.readInt();
            int crc = in.readInt();
            if (in.readInt() != END || tableAt < MAGIC.length || stored < 0 || tableAt + stored != size - TRAILER
                    || inflated < 0 || inflated > MAX_TABLE) {
                return r;
            }
            byte[] tail = new byte[stored];
            in.seek(tableAt);
            in.readFully(tail);
            if (crc(tail, tail.length) != crc) return r;
            r.readTable(new RecordBytes.In(inflate(tail, inflated)), tableAt);
            r.loaded = in;
            in = null;
        } catch (IOException | RuntimeException e) {
            // a damaged record file costs only the scans it would have saved
            r.pages.clear();
        } finally {
            close(in);
        }
        return r;
    }

    /** Far above any site's table: a length past it is damage, not a reason to run out of memory. */
    private static final int MAX_TABLE = 1 << 30;

    private static byte[] inflate(byte[] stored, int length) throws IOException {
        Inflater inf = new Inflater();
        try {
            inf.setInput(stored);
            byte[] b = new byte[length];
            int got = 0;
            while (got < length && !inf.finished()) {
                int n = inf.inflate(b, got, length - got);
                if (n == 0 && (inf.needsInput() || inf.needsDictionary())) break;
                got += n;
            }
            if (got != length || !inf.finished() || inf.getRemaining() != 0) throw RecordBytes.In.damaged();
            return b;
        } catch (DataFormatException e) {
            throw RecordBytes.In.damaged();
        } finally {
            inf.end();
        }
    }

    private static byte[] deflate(RecordBytes.Out... parts) throws IOException {
        ByteArrayOutputStream b = new ByteArrayOutputStream();
        Deflater def = new Deflater();
        try (DeflaterOutputStream out = new DeflaterOutputStream(b, def, 1 << 16)) {
            for (RecordBytes.Out p : parts) out.write(p.buf, 0, p.len);
        } finally {
            def.end();  // a deflater of our own is not ended by the stream
        }
        return b.toByteArray();
    }

    private void readTable(RecordBytes.In in, long blocksEnd) throws IOException {
        int count = in.count();
        String[] strings = new String[count];
        int[] first = new int[count];
        String prev = "";
        for (int i = 0; i < count; i++) {
            strings[i] = prev = in.string(prev);
            first[i] = in.below(count + 2) - 2;
        }
        int n = in.count();
        prev = "";
        for (int i = 0; i < n; i++) {
            String path = prev = in.string(prev);
            byte[] digest = in.bytes(in.u8());
            String base = strings[in.below(count)];
            String encoding = strings[in.below(count)];
            long offset = in.varlong();
            int length = in.varint();
            int crc = in.int32();
            if (offset < MAGIC.length || length < 0 || offset > blocksEnd - length) throw RecordBytes.In.damaged();
            pages.put(path, new Page(base, encoding, false, offset, length, crc, digest));
        }
        if (!in.atEnd()) throw RecordBytes.In.damaged();
        loadedStrings = new Strings(strings, first);
        keyOf = keys(strings);
        int keys = 0;
        for (int k : keyOf) keys = Math.max(keys, k + 1);
        droppedFromSaved = new int[keys];
        droppedFromWeb = new int[keys];
        Arrays.fill(droppedFromSaved, Integer.MAX_VALUE);
        Arrays.fill(droppedFromWeb, Integer.MAX_VALUE);
        madeBy = new AtomicLongArray(2 * keys);
        for (int i = 0; i < madeBy.length(); i++) madeBy.set(i, NONE);
    }

    /**
     * One number for the strings that are one URL to the crawl list (its text
     * up to the fragment, as UrlLoad.key cuts it): a string's own id, or for a
     * text with a fragment that of its text without, else one of their own.
     */
    private static int[] keys(String[] strings) {
        int[] keyOf = new int[strings.length];
        String[] baseOf = new String[strings.length];
        Map<String, Integer> bases = new HashMap<>();
        for (int i = 0; i < strings.length; i++) {
            int hash = strings[i].indexOf('#');
            if (hash >= 0) bases.put(baseOf[i] = strings[i].substring(0, hash), -1);
        }
        if (bases.isEmpty()) {
            for (int i = 0; i < strings.length; i++) keyOf[i] = i;
            return keyOf;
        }
        for (int i = 0; i < strings.length; i++) {
            keyOf[i] = i;
            if (baseOf[i] == null) bases.replace(strings[i], -1, i);
        }
        int next = strings.length;
        for (int i = 0; i < strings.length; i++) {
            if (baseOf[i] == null) continue;
            int k = bases.get(baseOf[i]);
            if (k < 0) bases.put(baseOf[i], k = next++);
            keyOf[i] = k;
        }
        return keyOf;
    }

    /**
     * Adds the recorded links of a page to the crawl list, as the scan would
     * add them, when the record holds for the page as it is; false, with the
     * list unchanged, when the page is to be scanned.
     */
    boolean replay(NodeURL page, int parentIndex, List<NodeURL> crawlList) {
        String path = below(page.getLoadedFilename());
        Page p;
        byte[] want;
        synchronized (this) {
            p = path == null ? null : pages.get(path);
            want = p == null ? null : p.digest;
        }
        // scans run on several threads: the page is read and digested outside the lock
        if (want == null || p.spooled || page.getURL() == null) return false;
        if (!p.base.equals(page.getURL().toString())) return false;
        // a charset the answer did not name is looked for in the bytes the digest reads
        byte[] head = page.getCharset() == null ? new byte[PageCharset.HEAD] : null;
        byte[] now = digest(new File(page.getLoadedFilename()), head);
        if (now == null || !Arrays.equals(now, want)) return false;
        if (!p.encoding.equals((head == null ? PageCharset.of(page) : PageCharset.of(page, head)).name())) return false;
        Links links = new Links();
        List<NodeURL> nodes;
        try {
            decode(read(loaded, p), loadedStrings, links);
            nodes = new ArrayList<>(links.n);
            int[] fromSaved = droppedFromSaved;
            int[] fromWeb = droppedFromWeb;
            int[] urlKeys = keyOf;
            AtomicLongArray made = madeBy;
            // this page's links made so far: the lowest level of each
            Map<Integer, Integer> here = new HashMap<>();
            for (int i = 0; i < links.n; i++) {
                int level = page.getLevel() + links.step[i];
                int id = links.urlId[i];
                int url = urlKeys[id];
                // a link the crawl list would drop as it joins is not made at all: most links of an update
                if ((links.saved[i] ? fromSaved : fromWeb)[url] <= level) continue;
                int key = 2 * url + (links.saved[i] ? 1 : 0);
                long m = made.get(key);
                if (m != NONE && (int) (m >>> 32) < parentIndex && levelOf(m) <= level) continue;
                Integer before = here.get(key);
                if (before != null && before <= level) continue;
                here.put(key, level);
                NodeURL n = new ReplayedNode(level, parentIndex, new URL(links.url[i]), links.text[i], id);
                n.setFromSavedPage(links.saved[i]);
                nodes.add(n);
            }
            // only once every link is made: a replay that fails leaves the page to a scan
            for (Map.Entry<Integer, Integer> e : here.entrySet()) {
                made(made, e.getKey(), note(parentIndex, e.getValue()));
            }
        } catch (IOException e) {  // a damaged block, or a URL that no longer parses
            return false;
        }
        crawlList.addAll(nodes);
        synchronized (this) {
            replayed++;
        }
        return true;
    }

    /** A page's place and a level as a note of madeBy; notes compare as (place, level). */
    private static long note(int place, int level) {
        return (long) place << 32 | ((long) level - Integer.MIN_VALUE);
    }

    private static int levelOf(long note) {
        return (int) ((note & 0xffffffffL) + Integer.MIN_VALUE);
    }

    /** load(root) on a thread of its own, from now. */
    static java.util.concurrent.FutureTask<LinkRecords> loading(File root) {
        java.util.concurrent.FutureTask<LinkRecords> task = new java.util.concurrent.FutureTask<>(() -> load(root));
        Thread t = new Thread(task, "records-load");
        t.setDaemon(true);
        t.start();
        return task;
    }

    /** Keeps the earlier page's note, or at one page the lower level. */
    private static void made(AtomicLongArray made, int key, long note) {
        for (long old = made.get(key); note < old; old = made.get(key)) {
            if (made.compareAndSet(key, old, note)) return;
        }
    }

    /**
     * Notes that the crawl list keeps a link to the URL of a replayed node at
     * level or lower, so that later replays drop such links before making them.
     * Called by the crawl's thread only.
     */
    void listed(ReplayedNode n, boolean fromSaved, int level) {
        int[] a = fromSaved ? droppedFromSaved : droppedFromWeb;
        int url = n.urlId < keyOf.length ? keyOf[n.urlId] : a.length;
        if (url < a.length && level < a[url]) a[url] = level;
    }

    /** The links that a scan of page added to the crawl list, in their order. */
    synchronized void found(NodeURL page, List<NodeURL> added) {
        String path = below(page.getLoadedFilename());
        if (path == null || page.getURL() == null) return;
        Links links = new Links();
        for (NodeURL n : added) {
            if (n.getURL() == null) return;  // nothing to record it by
            links.add(n.getLevel() - page.getLevel(), n.isFromSavedPage(), n.getURL().toString(), n.getString());
        }
        block.reset();
        encode(links, run, block);
        try {
            if (spool == null) {
                // a killed run's spool is taken over from its start
                spool = new RandomAccessFile(new File(root, SPOOL_NAME), "rw");
                spool.setLength(0);
            }
            long at = spoolEnd;
            spool.seek(at);
            spool.write(block.buf, 0, block.len);
            spoolEnd += block.len;
            pages.put(path, new Page(run.shared(page.getURL().toString()), run.shared(PageCharset.of(page).name()),
                    true, at, block.len, crc(block.buf, block.len), null));
            scanned.add(path);
        } catch (IOException e) {
            pages.remove(path);  // the next run scans it again
        }
    }

    /**
     * Pages that the rewrite pass wrote back: their links now name the saved
     * files, which the crawl reads back into the URLs recorded for them, so
     * their records hold for their new bytes.
     */
    synchronized void rewritten(Iterable<String> files) {
        for (String f : files) {
            String path = below(f);
            Page p = path == null ? null : pages.get(path);
            if (p == null) continue;
            p.digest = null;
            scanned.add(path);
        }
    }

    /**
     * Writes the records, each page scanned (or rewritten) in this run with the digest of its
     * bytes as they are now, after the rewrite pass, and the others as they were. Written beside and renamed
     * over the old file, so that a crash leaves one or the other.
     */
    synchronized void save() throws IOException {
        try {
            if (!scanned.isEmpty()) write();  // else the records on disk hold as they are
        } finally {
            close(loaded);
            close(spool);
            loaded = null;
            spool = null;
            new File(root, SPOOL_NAME).delete();
        }
    }

    private void write() throws IOException {
        Map<String, byte[]> digests = new java.util.concurrent.ConcurrentHashMap<>();
        scanned.parallelStream().distinct().forEach(path -> {
            byte[] d = digest(new File(root, path));
            if (d != null) digests.put(path, d);
        });
        for (String path : scanned) {
            Page p = pages.get(path);
            if (p != null && p.digest == null) p.digest = digests.get(path);
        }
        scanned.clear();
        pages.values().removeIf(p -> p.digest == null);
        File f = new File(root, OutFiles.RECORDS_NAME);
        File tmp = new File(root, OutFiles.RECORDS_NAME + ".tmp");
        // every block again with the ids of a table of its own: strings no page uses any more are left behind
        Table table = new Table();
        RecordBytes.Out index = new RecordBytes.Out();
        Links links = new Links();
        List<String> paths = new ArrayList<>(pages.keySet());
        paths.sort(null);
        int kept = 0;
        String prev = "";
        try (OutputStream out = new BufferedOutputStream(new FileOutputStream(tmp), 1 << 16)) {
            out.write(MAGIC);
            long at = MAGIC.length;
            for (String path : paths) {
                Page p = pages.get(path);
                links.n = 0;
                try {
                    decode(read(p.spooled ? spool : loaded, p), p.spooled ? run : loadedStrings, links);
                } catch (IOException e) {
                    continue;  // a damaged block: the page is scanned next time
                }
                block.reset();
                encode(links, table, block);
                out.write(block.buf, 0, block.len);
                index.string(path, prev);
                prev = path;
                index.u8(p.digest.length);
                index.bytes(p.digest);
                index.varint(table.id(p.base));
                index.varint(table.id(p.encoding));
                index.varlong(at);
                index.varint(block.len);
                index.int32(crc(block.buf, block.len));
                at += block.len;
                kept++;
            }
            RecordBytes.Out tail = new RecordBytes.Out();
            tail.varint(table.size);
            String s = "";
            for (int i = 0; i < table.size; i++) {
                tail.string(table.strings[i], s);
                s = table.strings[i];
                tail.varint(table.first[i] + 2);
            }
            tail.varint(kept);
            byte[] stored = deflate(tail, index);
            out.write(stored);
            RecordBytes.Out trailer = new RecordBytes.Out();
            trailer.int32((int) (at >>> 32));
            trailer.int32((int) at);
            trailer.int32(stored.length);
            trailer.int32(tail.len + index.len);
            trailer.int32(crc(stored, stored.length));
            trailer.int32(END);
            out.write(trailer.buf, 0, trailer.len);
        } catch (IOException | RuntimeException e) {
            tmp.delete();
            throw e;
        }
        close(loaded);  // a file open cannot be replaced everywhere
        loaded = null;
        Files.move(tmp.toPath(), f.toPath(), StandardCopyOption.ATOMIC_MOVE, StandardCopyOption.REPLACE_EXISTING);
    }

    /**
     * One page's links, each a byte of flags (from a saved page; level step 0,
     * 1 or another that follows; text the URL's first, none, or one that
     * follows), the step from the URL id before it, then step and text when
     * they follow. A URL new to the table takes the link's text as its first.
     */
    private static void encode(Links links, Table t, RecordBytes.Out out) {
        out.varint(links.n);
        int prev = 0;
        for (int i = 0; i < links.n; i++) {
            int u = t.id(links.url[i]);
            String text = links.text[i];
            int f = t.first[u];
            // most links of a URL carry the text it had first: that string's id, without a lookup
            int x = text == null ? NO_TEXT : f >= 0 && t.strings[f].equals(text) ? f : t.id(text);
            if (t.first[u] == UNSET) t.first[u] = x;
            int step = links.step[i];
            int stepKind = step == 0 ? 0 : step == 1 ? 1 : 2;
            int textKind = x == t.first[u] ? 0 : x == NO_TEXT ? 1 : 2;
            out.varint((links.saved[i] ? 1 : 0) | stepKind << 1 | textKind << 3);
            out.varint(RecordBytes.zigzag(u - prev));
            prev = u;
            if (stepKind == 2) out.varint(RecordBytes.zigzag(step));
            if (textKind == 2) out.varint(x);
        }
    }

    private static void decode(byte[] b, Strings t, Links into) throws IOException {
        RecordBytes.In in = new RecordBytes.In(b);
        int n = in.count();
        int prev = 0;
        for (int i = 0; i < n; i++) {
            int flags = in.varint();
            int stepKind = flags >> 1 & 3;
            int textKind = flags >> 3 & 3;
            if (flags >>> 5 != 0 || stepKind == 3 || textKind == 3) throw RecordBytes.In.damaged();
            int u = prev + RecordBytes.unzigzag(in.varint());
            if (u < 0 || u >= t.size) throw RecordBytes.In.damaged();
            prev = u;
            int step = stepKind == 2 ? RecordBytes.unzigzag(in.varint()) : stepKind;
            int x = textKind == 0 ? t.first[u] : textKind == 1 ? NO_TEXT : in.below(t.size);
            if (x == UNSET || x >= t.size) throw RecordBytes.In.damaged();
            into.add(step, (flags & 1) != 0, t.strings[u], x == NO_TEXT ? null : t.strings[x], u);
        }
        if (!in.atEnd()) throw RecordBytes.In.damaged();
    }

    /** The block of a page, when its CRC holds. */
    private static byte[] read(RandomAccessFile from, Page p) throws IOException {
        if (from == null) throw new IOException("no records file");
        byte[] b = new byte[p.length];
        // scans replay on several threads: the position and the read go together
        synchronized (from) {
            from.seek(p.offset);
            from.readFully(b);
        }
        if (crc(b, b.length) != p.crc) throw RecordBytes.In.damaged();
        return b;
    }

    private static int crc(byte[] b, int len) {
        CRC32 c = new CRC32();
        c.update(b, 0, len);
        return (int) c.getValue();
    }

    private static void close(RandomAccessFile f) {
        try {
            if (f != null) f.close();
        } catch (IOException e) {
            // only read from, or written and no longer needed
        }
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

    /**
     * What tells a page's bytes from others: its length, CRC-32C and CRC-32;
     * null when it cannot be read. It guards against a page changed on disk
     * since its record was made, not against forgery, and costs a tenth of a
     * cryptographic digest in the quick compiler that the runs use.
     */
    static byte[] digest(File f) {
        return digest(f, null);
    }

    /** As digest(f), copying f's first bytes into head where head is not null (a shorter file leaves the rest). */
    static byte[] digest(File f, byte[] head) {
        java.util.zip.CRC32C c = new java.util.zip.CRC32C();
        java.util.zip.CRC32 d = new java.util.zip.CRC32();
        long length = 0;
        byte[] buf = new byte[1 << 16];
        try (InputStream in = Files.newInputStream(f.toPath())) {
            for (int n; (n = in.read(buf)) > 0; length += n) {
                if (head != null && length < head.length) {
                    System.arraycopy(buf, 0, head, (int) length, (int) Math.min(n, head.length - length));
                }
                c.update(buf, 0, n);
                d.update(buf, 0, n);
            }
        } catch (IOException | RuntimeException e) {
            return null;
        }
        return java.nio.ByteBuffer.allocate(16).putLong(length).putInt((int) c.getValue()).putInt((int) d.getValue())
                .array();
    }
}
