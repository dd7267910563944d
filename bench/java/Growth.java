import java.io.File;
import java.io.IOException;
import java.nio.file.Files;
import java.util.List;

/**
 * How the Mirror grows with the site: synthetic sites of n pages with about
 * 100 links a page (SiteGen.linkSite) served by nginx, a first run and an
 * update run of the Mirror (one of each per size) and of wget2 beside it.
 *
 *   BENCH_GROWTH       sizes in pages (default 1000,10000,100000)
 *   BENCH_GROWTH_LINKS links a page (default 100)
 *   BENCH_GROWTH_CAP   seconds a run may take (default 900); a size whose first
 *                      run would take longer, judged from the size before, is
 *                      skipped, and a run that reaches the cap is stopped; the
 *                      table says which and why instead of giving figures
 *   -Dbench.probe=JAR  the HeapProbe agent (bench/run.sh builds it)
 */
final class Growth {
    /** How often the heap probe samples. */
    static final int PERIOD_MS = 500;

    private Growth() {}

    static void table(File work, String libdir, String hostJar, byte[] logo) throws Exception {
        String sizes = env("BENCH_GROWTH", "1000,10000,100000");
        int links = Integer.parseInt(env("BENCH_GROWTH_LINKS", "100"));
        long cap = Long.parseLong(env("BENCH_GROWTH_CAP", "900"));
        String probe = System.getProperty("bench.probe");
        out("## 4. Growth: synthetic sites of " + links + " links a page");
        out("");
        out("Pages of about " + Stats.f("%.1f", links * 45 / 1000.0) + " KB, each with " + links + " links to pages picked by a fixed"
                + " hash, a link to the next page and one image; one first run and one update run per size (every"
                + " answer 304), timed without the probe. Live heap, from a further first run and update with the"
                + " probe: the largest heap in use right after a full collection, sampled every " + PERIOD_MS + " ms in the"
                + " Mirror's JVM (HeapProbe), with the launcher's JVM options (scripts/jvm-options.sh). Per distinct URL: that"
                + " over the distinct URLs the server was asked for (the JVM's own few MB included). Records: the"
                + " size of OUT/.x7fenwix-links."
                + " Time cap per run: " + cap + " s.");
        out("");
        out("| Pages | Links | Distinct URLs | Run | Mirror wall | Mirror CPU | Mirror peak RSS MB | Live heap MB"
                + " (samples) | Heap bytes / distinct URL | Records MB | wget2 wall | wget2 CPU | wget2 peak RSS MB |");
        out("|---|---|---|---|---|---|---|---|---|---|---|---|---|");
        MirrorBench.Tools tools = new MirrorBench.Tools();
        tools.java = System.getProperty("java.home") + "/bin/java";
        tools.classpath = hostJar;
        tools.libdir = libdir;
        File transcript = new File(work, "growth-transcript.log");
        int prevN = 0;
        double prevFirst = 0;
        for (String sz : sizes.split(",")) {
            int n = Integer.parseInt(sz.trim());
            long total = (long) n * links;
            if (prevN > 0 && prevFirst * n / prevN > cap) {
                out(Stats.f("| %d | %d | - | skipped | - | - | - | - | - | - | - | - | - |", n, total));
                out("");
                out(Stats.f("The %d-page site was skipped: its first run would take about %.0f s (%.1f s for %d pages,"
                        + " scaled by pages), above the cap of %d s (BENCH_GROWTH_CAP).", n, prevFirst * n / prevN,
                        prevFirst, prevN, cap));
                out("");
                break;
            }
            File site = new File(work, "grow" + n);
            MirrorBench.deleteTree(site);
            SiteGen.linkSite(site, n, links, logo);
            File copy = new File(work, "grow-copy");
            File wcopy = new File(work, "grow-wget2");
            MirrorBench.deleteTree(copy);
            MirrorBench.deleteTree(wcopy);
            copy.mkdirs();
            wcopy.mkdirs();
            File probeOut = new File(work, "heap.txt");
            MirrorBench.Tools probed = new MirrorBench.Tools();
            probed.java = tools.java;
            probed.classpath = tools.classpath;
            probed.libdir = tools.libdir;
            if (probe != null) probed.jvmExtra.add("-javaagent:" + probe + "=" + probeOut.getPath() + "," + PERIOD_MS);
            String[] runNames = {"first", "update"};
            MirrorBench.Run[] m = new MirrorBench.Run[2];
            MirrorBench.Run[] w = new MirrorBench.Run[2];
            long[][] heap = new long[2][];
            String[] noHeap = {"-", "-"};
            long[] records = new long[2];
            int distinct = 0;
            try (BenchNginx web = new BenchNginx(new File(work, "nginx-grow"), List.of(site))) {
                String url = web.url(0, "/index.html");
                for (int r = 0; r < 2; r++) {
                    m[r] = MirrorBench.run(web, MirrorBench.mirrorCommand(tools, url, copy), copy, copy, transcript, cap);
                    if (m[r].timedOut) break;
                    if (r == 0) distinct = m[r].traffic.uris.size();
                    records[r] = new File(copy, ".x7fenwix-links").length();
                }
                // the heap in runs of their own: the probe's collections cost time
                MirrorBench.deleteTree(copy);
                copy.mkdirs();
                for (int r = 0; r < 2 && probe != null && !m[0].timedOut; r++) {
                    probeOut.delete();
                    MirrorBench.Run p = MirrorBench.run(web, MirrorBench.mirrorCommand(probed, url, copy), copy, copy,
                            transcript, cap);
                    if (p.timedOut || p.exit != 0) {
                        noHeap[r] = p.timedOut ? "probe run stopped at the cap" : "probe run exit " + p.exit;
                        if (r == 0) noHeap[1] = "not run";
                        break;
                    }
                    heap[r] = probeOut.isFile() ? readProbe(probeOut) : null;
                }
                for (int r = 0; r < 2 && !m[0].timedOut; r++) {
                    w[r] = MirrorBench.run(web, MirrorBench.wget2Command(url), wcopy, wcopy, transcript, cap);
                    if (w[r].timedOut) break;
                }
            }
            for (int r = 0; r < 2; r++) {
                MirrorBench.Run x = m[r];
                if (x == null) continue;
                String mirror;
                if (x.timedOut) {
                    mirror = "stopped at the cap of " + cap + " s | - | - | - | - | -";
                } else {
                    String live = heap[r] == null ? noHeap[r] : heap[r][1] == 0 ? "no sample (ended within "
                            + PERIOD_MS + " ms)" : Stats.f("%.1f (%d)", heap[r][0] / 1048576.0, heap[r][1]);
                    String perUrl = heap[r] == null || heap[r][1] == 0 ? "-" : String.valueOf(heap[r][0] / distinct);
                    mirror = Stats.f("%.2f | %.2f | %.0f", x.seconds, x.cpu, x.rssKb / 1024.0) + (x.exit != 0
                            ? " (exit " + x.exit + oom(transcript) + ")" : "") + " | " + live + " | " + perUrl + " | "
                            + Stats.f("%.2f", records[r] / 1048576.0);
                }
                String wget2 = w[r] == null ? "- | - | -" : w[r].timedOut ? "stopped at the cap | - | -"
                        : Stats.f("%.2f | %.2f | %.0f", w[r].seconds, w[r].cpu, w[r].rssKb / 1024.0);
                out(Stats.f("| %d | %d | %d | %s | ", n, total, distinct, runNames[r]) + mirror + " | " + wget2 + " |");
            }
            MirrorBench.deleteTree(copy);
            MirrorBench.deleteTree(wcopy);
            MirrorBench.deleteTree(site);
            if (m[0].timedOut) {
                out("");
                out(Stats.f("The %d-page site's first run was stopped at the cap of %d s (BENCH_GROWTH_CAP); larger"
                        + " sizes were not run.", n, cap));
                break;
            }
            prevN = n;
            prevFirst = m[0].seconds;
        }
        out("");
    }

    private static long[] readProbe(File f) throws IOException {
        String[] p = Files.readString(f.toPath()).trim().split(" ");
        return new long[] {Long.parseLong(p[0]), Long.parseLong(p[1])};
    }

    /** ", OutOfMemoryError" when the transcript's last lines say so. */
    private static String oom(File transcript) throws IOException {
        String t = Files.readString(transcript.toPath());
        return t.substring(Math.max(0, t.length() - 4000)).contains("OutOfMemoryError") ? ", OutOfMemoryError" : "";
    }

    private static String env(String name, String def) {
        String v = System.getenv(name);
        return v == null || v.isBlank() ? def : v;
    }

    private static void out(String line) {
        Bench.out.println(line);
    }
}
