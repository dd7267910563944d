import java.io.File;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Comparator;
import java.util.List;
import java.util.concurrent.TimeUnit;
import java.util.stream.Stream;

/**
 * Whole mirrors of a site served by nginx: the project's Mirror program (a
 * fresh JVM per run, as a user starts it) and Debian's wget, a first run into
 * an empty folder and an update run into the same folder.
 */
final class MirrorBench {
    private MirrorBench() {}

    /** One run of one tool. */
    static final class Run {
        double seconds;   // wall
        double cpu;       // user + system of the tool's process, from /usr/bin/time
        long rssKb;       // peak resident set of the tool's process, from /usr/bin/time
        boolean timedOut; // stopped at the time cap: no figures
        int exit;
        BenchNginx.Traffic traffic;
        int pages;        // .html/.htm files in the copy
        int files;        // all files of the copy
        long bytes;       // their size
    }

    /** How the tools are started. */
    static final class Tools {
        String java;      // the JVM that runs Mirror
        String classpath; // x7host.jar
        String libdir;    // folder of libx7fenwix.so
        List<String> jvmExtra = new ArrayList<>();  // further JVM options (the heap probe)
    }

    /** The JVM options scripts/mirror.sh runs the Mirror with (scripts/jvm-options.sh, passed by bench/run.sh). */
    static List<String> mirrorJvmOptions() {
        List<String> c = new ArrayList<>();
        for (String o : System.getProperty("bench.mirrorJvm", "-XX:TieredStopAtLevel=1").split("\\s+")) {
            if (!o.isEmpty()) c.add(o);
        }
        return c;
    }

    static List<String> mirrorCommand(Tools t, String url, File out) {
        List<String> c = new ArrayList<>();
        c.add(t.java);
        c.addAll(mirrorJvmOptions());
        c.addAll(t.jvmExtra);
        c.add("-Djava.library.path=" + t.libdir);
        c.add("-cp");
        c.add(t.classpath);
        c.add("Mirror");
        c.add(url);
        c.add(out.getPath());
        return c;
    }

    /** wget -m -k -np, plus the extra options, run inside out. */
    static List<String> wgetCommand(String url, String... extra) {
        List<String> c = new ArrayList<>(List.of("/usr/bin/wget", "-q", "-m", "-k", "-np"));
        c.addAll(List.of(extra));
        c.add(url);
        return c;
    }

    /** wget2 -m -k -np (Debian's wget2, its default of 5 threads), run inside out. */
    static List<String> wget2Command(String url) {
        return new ArrayList<>(List.of("/usr/bin/wget2", "-q", "-m", "-k", "-np", url));
    }

    static Run run(BenchNginx web, List<String> command, File workDir, File copy, File transcript)
            throws IOException, InterruptedException {
        Run r = run(web, command, workDir, copy, transcript, 30 * 60);
        if (r.timedOut) throw new IOException("timed out: " + command);
        return r;
    }

    /** One run, stopped after capSeconds (then timedOut, with no figures). */
    static Run run(BenchNginx web, List<String> command, File workDir, File copy, File transcript, long capSeconds)
            throws IOException, InterruptedException {
        workDir.mkdirs();
        File times = File.createTempFile("time", ".txt");
        List<String> timed = new ArrayList<>(List.of("/usr/bin/time", "-f", "%U %S %M", "-o", times.getPath()));
        timed.addAll(command);
        web.mark();
        long t0 = System.nanoTime();
        Process p = new ProcessBuilder(timed).directory(workDir).redirectErrorStream(true)
                .redirectOutput(ProcessBuilder.Redirect.appendTo(transcript)).start();
        Run r = new Run();
        if (!p.waitFor(capSeconds, TimeUnit.SECONDS)) {
            // time runs the tool as its child: both go
            p.descendants().forEach(ProcessHandle::destroyForcibly);
            p.destroyForcibly();
            p.waitFor();
            times.delete();
            r.timedOut = true;
            r.seconds = capSeconds;
            return r;
        }
        r.seconds = Stats.since(t0);
        r.exit = p.exitValue();
        String[] used = Files.readString(times.toPath()).trim().split("\\s+");
        times.delete();
        r.cpu = Double.parseDouble(used[used.length - 3]) + Double.parseDouble(used[used.length - 2]);
        r.rssKb = Long.parseLong(used[used.length - 1]);
        // nginx logs a request just after answering it
        Thread.sleep(300);
        r.traffic = web.traffic();
        count(copy, r);
        return r;
    }

    /** The files of a copy, without the tools' own files (logs, locks, wget's .orig backups). */
    static void count(File copy, Run r) throws IOException {
        if (!copy.exists()) return;
        try (Stream<Path> s = Files.walk(copy.toPath())) {
            for (Path p : (Iterable<Path>) s.filter(Files::isRegularFile)::iterator) {
                String n = p.getFileName().toString();
                if (n.startsWith(".") || n.equals("x7fenwix.log") || n.endsWith(".orig") || n.endsWith(".INCOMPLETE")) {
                    continue;
                }
                r.files++;
                r.bytes += Files.size(p);
                String low = n.toLowerCase(java.util.Locale.ROOT);
                if (low.endsWith(".html") || low.endsWith(".htm")) r.pages++;
            }
        }
    }

    static void deleteTree(File f) throws IOException {
        if (!f.exists()) return;
        try (Stream<Path> s = Files.walk(f.toPath())) {
            for (Path p : (Iterable<Path>) s.sorted(Comparator.reverseOrder())::iterator) Files.delete(p);
        }
    }
}
