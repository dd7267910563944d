import java.io.File;
import java.io.IOException;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;

/**
 * The benchmarks of bench/run.sh, printed as one Markdown table set:
 *
 *   Bench all WORK SQLITE_DOCS LIBDIR HOST_JAR RUNS   everything
 *   Bench tags SQLITE_DOCS RUNS [PAGES]               tag reader against its floor
 *   Bench transfer WORK MB RUNS                       transfer against its floor
 *   Bench tags-library|tags-floor SQLITE_DOCS PAGES ROUNDS   one side alone, for a profiler
 *   Bench transfer-library|transfer-floor WORK MB ROUNDS     the same for the transfer
 *   Bench growth WORK LIBDIR HOST_JAR SQLITE_DOCS            the growth table alone (sizes: see Growth)
 *   Bench hosts WORK SQLITE_DOCS LIBDIR RUNS HOST_JAR...     Mirror runs of several host builds
 */
public final class Bench {
    static PrintStream out = System.out;

    public static void main(String[] args) throws Throwable {
        // Pages made of many sqlite pages nest deeper than a default stack
        // holds: the tag reader recurses once per open container.
        Throwable[] failed = new Throwable[1];
        Thread t = new Thread(null, () -> {
            try {
                run(args);
            } catch (Throwable e) {
                failed[0] = e;
            }
        }, "bench", 1L << 30);
        t.start();
        t.join();
        if (failed[0] != null) throw failed[0];
    }

    static void run(String[] args) throws Exception {
        switch (args[0]) {
            case "all":
                all(new File(args[1]), new File(args[2]), args[3], args[4], Integer.parseInt(args[5]));
                break;
            case "tags": {
                List<byte[]> pages = TagBench.htmlPages(new File(args[1]));
                int runs = Integer.parseInt(args[2]);
                if (args.length > 3) pages = pages.subList(0, Math.min(pages.size(), Integer.parseInt(args[3])));
                TagBench.check(pages);
                Stats[] s = TagBench.measure(pages, 1, runs);
                out.println(Stats.f("tags %d pages %.1f MB: wall library %s floor %s ratio %.3f (min %.3f);"
                        + " CPU library %s floor %s ratio %.3f (min %.3f)", pages.size(), TagBench.total(pages) / 1048576.0,
                        s[0].both("%.3f"), s[1].both("%.3f"), s[0].median() / s[1].median(), s[0].min() / s[1].min(),
                        s[2].both("%.3f"), s[3].both("%.3f"), s[2].median() / s[3].median(), s[2].min() / s[3].min()));
                break;
            }
            case "transfer": {
                File dir = new File(args[1]);
                dir.mkdirs();
                Stats[] s = TransferBench.measure(dir, Integer.parseInt(args[2]), 1, Integer.parseInt(args[3]));
                out.println(Stats.f("transfer %s MB: wall library %s floor %s ratio %.3f (min %.3f);"
                        + " CPU library %s floor %s ratio %.3f (min %.3f)", args[2],
                        s[0].both("%.3f"), s[1].both("%.3f"), s[0].median() / s[1].median(), s[0].min() / s[1].min(),
                        s[2].both("%.3f"), s[3].both("%.3f"), s[2].median() / s[3].median(), s[2].min() / s[3].min()));
                break;
            }
            case "growth": {
                File work = new File(args[1]);
                work.mkdirs();
                out.println(machine());
                out.println();
                Growth.table(work, args[2], args[3], Files.readAllBytes(new File(args[4], "images/SQLite.gif").toPath()));
                break;
            }
            case "hosts":
                // Bench hosts WORK SQLITE_DOCS LIBDIR RUNS HOST_JAR...: the Mirror of each host jar, taking turns
                hosts(new File(args[1]), new File(args[2]), args[3], Integer.parseInt(args[4]),
                        java.util.Arrays.asList(args).subList(5, args.length));
                break;
            case "transfer-library":
            case "transfer-floor": {
                // one side alone, for a profiler: Bench transfer-library|transfer-floor WORK MB ROUNDS
                File dir = new File(args[1]);
                dir.mkdirs();
                byte[] body = TransferBench.body(Integer.parseInt(args[2]) << 20);
                UrlLoad crawler = new UrlLoad(dir);
                File file = new File(dir, "body.bin");
                long t0 = System.nanoTime();
                for (int i = 0; i < Integer.parseInt(args[3]); i++) {
                    if (args[0].equals("transfer-library")) TransferBench.library(crawler, body, file);
                    else TransferBench.floor(crawler, body, file);
                }
                out.println(Stats.f("%s %s MB x %s: %.3f s", args[0], args[2], args[3], Stats.since(t0)));
                file.delete();
                break;
            }
            case "tags-library":
            case "tags-floor": {
                List<byte[]> pages = TagBench.htmlPages(new File(args[1]));
                pages = pages.subList(0, Math.min(pages.size(), Integer.parseInt(args[2])));
                int rounds = Integer.parseInt(args[3]);
                boolean library = args[0].equals("tags-library");
                long t0 = System.nanoTime();
                for (int i = 0; i < rounds; i++) TagBench.sink += library ? TagBench.library(pages) : TagBench.floor(pages);
                out.println(Stats.f("%s %d pages (%d bytes) x %d: %.3f s", args[0], pages.size(), TagBench.total(pages),
                        rounds, Stats.since(t0)));
                break;
            }
            default:
                throw new IllegalArgumentException("unknown benchmark " + args[0]);
        }
    }

    static void all(File work, File sqliteDocs, String libdir, String hostJar, int runs) throws Exception {
        MirrorBench.deleteTree(work);
        work.mkdirs();
        long t0 = System.nanoTime();
        out.println("# x7fenwix benchmarks");
        out.println();
        out.println(machine());
        out.println("Each figure: min / median of " + runs + " runs (" + Math.max(runs, 5) + " for the transfer), after"
                + " one warm-up run for the in-process benchmarks of section 1. Times in seconds unless marked.");
        out.println();
        List<byte[]> sqlite = TagBench.htmlPages(sqliteDocs);
        double floor = hotLoops(work, sqlite, runs);
        mirrors(work, sqliteDocs, sqlite, libdir, hostJar, runs, floor);
        byte[] logo = Files.readAllBytes(new File(sqliteDocs, "images/SQLite.gif").toPath());
        Growth.table(work, libdir, hostJar, logo);
        out.println(Stats.f("Whole benchmark: %.0f s; load average at the end: %s.", Stats.since(t0), loadAverage()));
    }

    // ---- 1. hot loops ----------------------------------------------------------

    /** The floor's median time for the sqlite pages. */
    static double hotLoops(File work, List<byte[]> sqlite, int runs) throws IOException {
        TagBench.check(sqlite);
        Stats[] t = TagBench.measure(sqlite, 1, runs);
        // a transfer run takes seconds: more of them steady its figures
        Stats[] x = TransferBench.measure(new File(work, "transfer"), 64, 1, Math.max(runs, 5));
        double mb = TagBench.total(sqlite) / 1048576.0;
        out.println("## 1. Hot loops against their floor");
        out.println();
        out.println("| Loop | Input | Library | Floor | Ratio (median) | Ratio (min) | Target |");
        out.println("|---|---|---|---|---|---|---|");
        String input = Stats.f("%d sqlite3-doc pages, %.1f MB, in memory", sqlite.size(), mb);
        row("tag reader, wall", input, t[0], t[1], 1.15);
        row("tag reader, thread CPU", input, t[2], t[3], 1.15);
        row("transfer, wall", "64 MB body, memory stream to file", x[0], x[1], 1.10);
        row("transfer, thread CPU", "64 MB body, memory stream to file", x[2], x[3], 1.10);
        out.println();
        out.println(Stats.f("Tag reader per character: library %.0f ns, floor %.0f ns (medians, wall).",
                t[0].median() * 1e9 / (mb * 1048576), t[1].median() * 1e9 / (mb * 1048576)));
        out.println();
        growthOfPages(sqlite, runs);
        return t[1].median();
    }

    static void row(String loop, String input, Stats lib, Stats floor, double target) {
        double ratio = lib.median() / floor.median();
        out.println("| " + loop + " | " + input + " | " + lib.both("%.3f") + " | " + floor.both("%.3f") + " | "
                + Stats.f("%.3f", ratio) + " | " + Stats.f("%.3f", lib.min() / floor.min()) + " | "
                + Stats.verdict(ratio, target) + " |");
    }

    /**
     * Tag reader time per MB for pages of 10 KB to 10 MB: the same 10 MB of
     * sqlite pages (one after another) cut into pages of each size.
     */
    static void growthOfPages(List<byte[]> sqlite, int runs) {
        int[] sizes = {10 << 10, 100 << 10, 1 << 20, 10 << 20};
        int total = 10 << 20;
        byte[] text = SiteGen.corpus(sqlite, total);
        out.println("## 3a. Tag reader: cost per MB by page size");
        out.println();
        out.println("The same 10 MB of sqlite pages, one after another, cut into pages of each size (at a '>').");
        out.println();
        out.println("| Page size | Pages | MB | Deepest nesting | Library s/MB | Floor s/MB | Ratio (median) |");
        out.println("|---|---|---|---|---|---|---|");
        for (int size : sizes) {
            List<byte[]> pages = SiteGen.slices(text, total, size);
            double mb = TagBench.total(pages) / 1048576.0;
            // the JIT is warm from the runs above
            Stats[] s = TagBench.measure(pages, 0, runs);
            Stats lib = perMb(s[0], mb);
            Stats flo = perMb(s[1], mb);
            out.println("| " + human(size) + " | " + pages.size() + " | " + Stats.f("%.1f", mb) + " | "
                    + TagBench.deepest(pages) + " | " + lib.both("%.3f") + " | " + flo.both("%.3f") + " | "
                    + Stats.f("%.3f", lib.median() / flo.median()) + " |");
        }
        out.println();
    }

    static Stats perMb(Stats s, double mb) {
        Stats r = new Stats(s.name + " per MB");
        for (double v : s.values()) r.add(v / mb);
        return r;
    }

    static String human(int bytes) {
        return bytes >= 1 << 20 ? (bytes >> 20) + " MB" : (bytes >> 10) + " KB";
    }

    // ---- 2. whole mirrors ------------------------------------------------------

    static void mirrors(File work, File sqliteDocs, List<byte[]> sqlite, String libdir, String hostJar, int runs,
            double floor) throws Exception {
        int[] siteSizes = {100, 300, 1000};
        List<File> roots = new ArrayList<>();
        roots.add(sqliteDocs);
        byte[] logo = Files.readAllBytes(new File(sqliteDocs, "images/SQLite.gif").toPath());
        for (int n : siteSizes) {
            File d = new File(work, "site" + n);
            SiteGen.site(d, sqlite, n, logo);
            roots.add(d);
        }
        MirrorBench.Tools tools = new MirrorBench.Tools();
        tools.java = System.getProperty("java.home") + "/bin/java";
        tools.classpath = hostJar;
        tools.libdir = libdir;
        File transcript = new File(work, "transcript.log");
        try (BenchNginx web = new BenchNginx(new File(work, "nginx"), roots)) {
            String start = web.url(0, "/index.html");
            String[][] wgetKinds = {{}, {"-K", "--no-if-modified-since"}};
            String[] names = {"Mirror", "wget -m -k -np", "wget -m -k -K -np --no-if-modified-since",
                "wget2 -m -k -np"};
            List<List<MirrorBench.Run>> first = new ArrayList<>();
            List<List<MirrorBench.Run>> update = new ArrayList<>();
            for (int k = 0; k < names.length; k++) {
                first.add(new ArrayList<>());
                update.add(new ArrayList<>());
            }
            for (int i = 0; i < runs; i++) {
                for (int k = 0; k < names.length; k++) {
                    File dir = new File(work, "copy-" + k);
                    MirrorBench.deleteTree(dir);
                    dir.mkdirs();
                    List<String> cmd = k == 0 ? MirrorBench.mirrorCommand(tools, start, dir)
                            : k == 3 ? MirrorBench.wget2Command(start)
                            : MirrorBench.wgetCommand(start, wgetKinds[k - 1]);
                    first.get(k).add(MirrorBench.run(web, cmd, dir, dir, transcript));
                    update.get(k).add(MirrorBench.run(web, cmd, dir, dir, transcript));
                }
            }
            // the Mirror's update requests once more from a bare JVM: what its update costs before its own work
            File uriFile = new File(work, "update-uris.txt");
            List<String> uris = new ArrayList<>(update.get(0).get(runs - 1).traffic.uris);
            java.util.Collections.sort(uris);
            Files.write(uriFile.toPath(), uris);
            List<String> floorCmd = new ArrayList<>();
            floorCmd.add(tools.java);
            floorCmd.addAll(MirrorBench.mirrorJvmOptions());
            floorCmd.addAll(List.of("-cp", System.getProperty("java.class.path"), "UpdateFloor",
                    web.url(0, ""), uriFile.getPath(), "4"));
            List<MirrorBench.Run> bare = new ArrayList<>();
            File bareDir = new File(work, "copy-bare");
            for (int i = 0; i < runs; i++) bare.add(MirrorBench.run(web, floorCmd, bareDir, bareDir, transcript));

            out.println("## 2. Whole mirror of sqlite3-doc (nginx on 127.0.0.1) against wget");
            out.println();
            out.println("| Tool | Run | Wall | CPU (user+sys) | Peak RSS MB | Requests | 200 | 304 | 404 | Body bytes sent"
                    + " | Pages | Files | Bytes on disk |");
            out.println("|---|---|---|---|---|---|---|---|---|---|---|---|---|");
            for (int k = 0; k < names.length; k++) {
                mirrorRow(names[k], "first", first.get(k));
                mirrorRow(names[k], "update", update.get(k));
            }
            mirrorRow("the Mirror's update requests alone, from a bare JVM (UpdateFloor)", "update", bare);
            out.println();
            out.println(Stats.f("Mirror update / its requests from a bare JVM: %.2f (min %.2f). The bare JVM's start and"
                    + " HttpURLConnection against wget2's whole update: %.2f (min %.2f).",
                    times(update.get(0)).median() / times(bare).median(), times(update.get(0)).min() / times(bare).min(),
                    times(bare).median() / times(update.get(3)).median(), times(bare).min() / times(update.get(3)).min()));
            out.println();
            for (int k = 1; k < names.length; k++) {
                out.println(Stats.f("Mirror / %s: first run %.2f (min %.2f), update run %.2f (min %.2f).", names[k],
                        times(first.get(0)).median() / times(first.get(k)).median(),
                        times(first.get(0)).min() / times(first.get(k)).min(),
                        times(update.get(0)).median() / times(update.get(k)).median(),
                        times(update.get(0)).min() / times(update.get(k)).min()));
                out.println();
            }
            out.println(Stats.f("The contract's floor for reading the pages (one read and one append per character,"
                    + " section 1): %.1f s of CPU per reading of every page; %.1f s of wall time with the reading"
                    + " shared by %d processors, at best. The first run reads every page into a tree once (the crawl's"
                    + " scans; the rewrite pass goes tag by tag); the update run reads no page that is unchanged on the server and"
                    + " on disk (their links are kept from the run before). Against %.2f s for the whole of wget's"
                    + " first run.", floor, floor / Runtime.getRuntime().availableProcessors(),
                    Runtime.getRuntime().availableProcessors(), times(first.get(1)).median()));
            out.println();
            out.println(Stats.f("Update run / first run: Mirror %.2f, %s %.2f, %s %.2f, %s %.2f.",
                    times(update.get(0)).median() / times(first.get(0)).median(), names[1],
                    times(update.get(1)).median() / times(first.get(1)).median(), names[2],
                    times(update.get(2)).median() / times(first.get(2)).median(), names[3],
                    times(update.get(3)).median() / times(first.get(3)).median()));
            out.println();

            out.println("## 3b. Mirror: time by site size (synthetic pages of about 5 KB, first run)");
            out.println();
            out.println("| Pages | Requests | Mirror wall | Mirror CPU | Mirror ms/page | wget -m -k -np wall | wget ms/page"
                    + " | Ratio (median) |");
            out.println("|---|---|---|---|---|---|---|---|");
            double[] mirrorMedian = new double[siteSizes.length];
            for (int s = 0; s < siteSizes.length; s++) {
                String url = web.url(s + 1, "/index.html");
                List<MirrorBench.Run> m = new ArrayList<>();
                List<MirrorBench.Run> w = new ArrayList<>();
                for (int i = 0; i < runs; i++) {
                    File dir = new File(work, "scale-m");
                    MirrorBench.deleteTree(dir);
                    dir.mkdirs();
                    m.add(MirrorBench.run(web, MirrorBench.mirrorCommand(tools, url, dir), dir, dir, transcript));
                    File wdir = new File(work, "scale-w");
                    MirrorBench.deleteTree(wdir);
                    wdir.mkdirs();
                    w.add(MirrorBench.run(web, MirrorBench.wgetCommand(url), wdir, wdir, transcript));
                }
                Stats mt = times(m);
                Stats wt = times(w);
                mirrorMedian[s] = mt.median();
                out.println("| " + siteSizes[s] + " | " + m.get(0).traffic.requests + " | " + mt.both("%.2f") + " | "
                        + cpus(m).both("%.2f") + " | " + Stats.f("%.1f", mt.median() * 1000 / siteSizes[s]) + " | "
                        + wt.both("%.2f") + " | " + Stats.f("%.1f", wt.median() * 1000 / siteSizes[s]) + " | "
                        + Stats.f("%.2f", mt.median() / wt.median()) + " |");
            }
            out.println();
            out.println(Stats.f("Mirror, cost of each further page (medians): %.1f ms from %d to %d pages, %.1f ms from %d"
                    + " to %d pages.", (mirrorMedian[1] - mirrorMedian[0]) * 1000 / (siteSizes[1] - siteSizes[0]),
                    siteSizes[0], siteSizes[1], (mirrorMedian[2] - mirrorMedian[1]) * 1000 / (siteSizes[2] - siteSizes[1]),
                    siteSizes[1], siteSizes[2]));
            out.println();
        }
    }

    /** First and update runs of the Mirror of several host builds on sqlite3-doc, taking turns. */
    static void hosts(File work, File sqliteDocs, String libdir, int runs, List<String> jars) throws Exception {
        MirrorBench.deleteTree(work);
        work.mkdirs();
        out.println(machine());
        out.println();
        File transcript = new File(work, "transcript.log");
        List<List<MirrorBench.Run>> first = new ArrayList<>();
        List<List<MirrorBench.Run>> update = new ArrayList<>();
        try (BenchNginx web = new BenchNginx(new File(work, "nginx"), List.of(sqliteDocs))) {
            String start = web.url(0, "/index.html");
            for (int k = 0; k < jars.size(); k++) {
                first.add(new ArrayList<>());
                update.add(new ArrayList<>());
            }
            for (int i = 0; i < runs; i++) {
                for (int k = 0; k < jars.size(); k++) {
                    MirrorBench.Tools tools = new MirrorBench.Tools();
                    tools.java = System.getProperty("java.home") + "/bin/java";
                    tools.classpath = jars.get(k);
                    tools.libdir = libdir;
                    File dir = new File(work, "copy-" + k);
                    MirrorBench.deleteTree(dir);
                    dir.mkdirs();
                    List<String> cmd = MirrorBench.mirrorCommand(tools, start, dir);
                    first.get(k).add(MirrorBench.run(web, cmd, dir, dir, transcript));
                    update.get(k).add(MirrorBench.run(web, cmd, dir, dir, transcript));
                }
            }
        }
        out.println("| Host | First run wall | First run CPU | Update run wall | Update run CPU |");
        out.println("|---|---|---|---|---|");
        for (int k = 0; k < jars.size(); k++) {
            out.println("| " + jars.get(k) + " | " + times(first.get(k)).both("%.2f") + " | "
                    + cpus(first.get(k)).both("%.2f") + " | " + times(update.get(k)).both("%.2f") + " | "
                    + cpus(update.get(k)).both("%.2f") + " |");
        }
        out.println();
        out.println("Load average at the end: " + loadAverage() + ".");
    }

    static Stats times(List<MirrorBench.Run> runs) {
        Stats s = new Stats("time");
        for (MirrorBench.Run r : runs) s.add(r.seconds);
        return s;
    }

    /** Peak resident set in MB (/usr/bin/time's %M). */
    static Stats rss(List<MirrorBench.Run> runs) {
        Stats s = new Stats("rss");
        for (MirrorBench.Run r : runs) s.add(r.rssKb / 1024.0);
        return s;
    }

    static Stats cpus(List<MirrorBench.Run> runs) {
        Stats s = new Stats("cpu");
        for (MirrorBench.Run r : runs) s.add(r.cpu);
        return s;
    }

    static void mirrorRow(String tool, String run, List<MirrorBench.Run> runs) {
        MirrorBench.Run r = runs.get(runs.size() - 1);
        BenchNginx.Traffic t = r.traffic;
        out.println("| " + tool + " | " + run + " | " + times(runs).both("%.2f") + " | " + cpus(runs).both("%.2f") + " | "
                + rss(runs).both("%.0f") + " | " + t.requests + " | " + t.ok
                + " | " + t.notModified + " | " + t.notFound + " | " + t.bodyBytes + " | " + r.pages + " | " + r.files
                + " | " + r.bytes + " |");
    }

    // ---- the machine ---------------------------------------------------------

    static String machine() throws IOException {
        String model = "?";
        for (String l : Files.readAllLines(new File("/proc/cpuinfo").toPath(), StandardCharsets.UTF_8)) {
            if (l.startsWith("model name")) {
                model = l.substring(l.indexOf(':') + 1).trim();
                break;
            }
        }
        return String.format(Locale.ROOT, "Machine: nproc %d, CPU %s, %s %s, Java %s; %s; load average at the start: %s.",
                Runtime.getRuntime().availableProcessors(), model, System.getProperty("os.name"),
                System.getProperty("os.version"), System.getProperty("java.version"),
                new java.util.Date(), loadAverage());
    }

    static String loadAverage() throws IOException {
        String[] f = Files.readString(new File("/proc/loadavg").toPath()).trim().split(" ");
        return f[0] + " " + f[1] + " " + f[2];
    }
}
