import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.io.UncheckedIOException;
import java.net.InetSocketAddress;
import java.net.ServerSocket;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.stream.Stream;

/** Runs of the Mirror program in child JVMs, and checks of the copies they make. */
final class MirrorRuns {
    private MirrorRuns() {}

    /** Runs Mirror to its end; fails on a JNI warning, whatever the exit code. */
    static Jvm.Result mirror(String... args) throws IOException, InterruptedException {
        Jvm.Result r = Jvm.run("Mirror", args);
        noJniWarning(r.out);
        return r;
    }

    static void noJniWarning(String out) {
        for (String w : Jvm.JNI_WARNINGS) {
            if (out.contains(w)) throw new AssertionError("JNI warning in child JVM:\n" + out);
        }
    }

    /** A Mirror run in the background, to be stopped midway. */
    static final class Running {
        final Process process;
        private final ByteArrayOutputStream buf = new ByteArrayOutputStream();
        private final Thread reader;

        Running(String... args) throws IOException {
            List<String> cmd = new ArrayList<>(Arrays.asList(Jvm.JAVA, "-Xcheck:jni", "-Djava.library.path=" + Jvm.LIBDIR,
                    "-cp", Jvm.CP, "-Duser.language=en", "-Duser.country=US", "Mirror"));
            cmd.addAll(Arrays.asList(args));
            process = new ProcessBuilder(cmd).redirectErrorStream(true).start();
            reader = new Thread(() -> {
                try (InputStream in = process.getInputStream()) {
                    in.transferTo(buf);
                } catch (IOException e) {
                    // the process is gone
                }
            });
            reader.start();
        }

        /** Stops it as Ctrl-C or a service manager would (SIGTERM) and waits; its output. */
        String stop() throws InterruptedException {
            // through the handle: Process.destroy() would close the pipe too,
            // and what the program prints on its way out would be lost
            process.toHandle().destroy();
            if (!process.waitFor(60, java.util.concurrent.TimeUnit.SECONDS)) {
                process.destroyForcibly();
                throw new AssertionError("mirror did not stop");
            }
            reader.join(10_000);
            String out = buf.toString(StandardCharsets.UTF_8);
            noJniWarning(out);
            return out;
        }
    }

    /** The number after "label:" in a summary. */
    static long count(String out, String label) {
        Matcher m = Pattern.compile("(?m)^\\s*" + Pattern.quote(label) + ":\\s*(\\d+)").matcher(out);
        if (!m.find()) throw new AssertionError("no '" + label + "' in:\n" + out);
        return Long.parseLong(m.group(1));
    }

    /** The pages whose links the last run in out took from the records, by the last line of its log. */
    static long keptFromLastRun(File out) throws IOException {
        List<String> lines = Files.readAllLines(new File(out, OutFiles.LOG_NAME).toPath());
        String last = lines.isEmpty() ? "" : lines.get(lines.size() - 1);
        Matcher m = Pattern.compile("links of (\\d+) unchanged pages").matcher(last);
        if (!m.find()) throw new AssertionError("no count of kept links in the log's last line: " + last);
        return Long.parseLong(m.group(1));
    }

    /** Two free ports in a row on 127.0.0.1. */
    static int freePortPair() throws IOException {
        for (int attempt = 0; attempt < 50; attempt++) {
            int p;
            try (ServerSocket s = new ServerSocket()) {
                s.bind(new InetSocketAddress("127.0.0.1", 0));
                p = s.getLocalPort();
            }
            if (p >= 65535) continue;
            try (ServerSocket a = new ServerSocket(); ServerSocket b = new ServerSocket()) {
                a.bind(new InetSocketAddress("127.0.0.1", p));
                b.bind(new InetSocketAddress("127.0.0.1", p + 1));
                return p;
            } catch (IOException e) {
                // taken; try another
            }
        }
        throw new IOException("no two free ports in a row");
    }

    private static final Pattern LINK = Pattern.compile(
            "(?is)<(a|img|frame|link)\\b[^>]*?\\s(href|src)\\s*=\\s*(\"[^\"]*\"|'[^']*'|[^\\s>]+)");

    /** The link values of the a, img, frame and link tags of a saved page. */
    static List<String> links(File page) {
        String s;
        try {
            s = new String(Files.readAllBytes(page.toPath()), StandardCharsets.ISO_8859_1);
        } catch (IOException e) {
            throw new UncheckedIOException(e);
        }
        List<String> out = new ArrayList<>();
        Matcher m = LINK.matcher(s);
        while (m.find()) {
            String v = m.group(3);
            if (v.length() >= 2 && (v.charAt(0) == '"' || v.charAt(0) == '\'')) v = v.substring(1, v.length() - 1);
            out.add(v);
        }
        return out;
    }

    /** Saved pages: every file that begins like an HTML page. */
    static List<File> pages(File root) throws IOException {
        List<File> out = new ArrayList<>();
        for (File f : files(root).values()) {
            if (SavedLinks.startsLikePage(f)) out.add(f);
        }
        return out;
    }

    /**
     * Links of saved pages that are neither web addresses nor in-page links
     * and name no saved file: broken in the offline copy. Each as "page: link".
     */
    static List<String> brokenLocalLinks(File root) throws IOException {
        List<String> broken = new ArrayList<>();
        for (File page : pages(root)) {
            for (String link : links(page)) {
                if (link.isEmpty() || link.startsWith("#") || link.matches("(?s)^[A-Za-z][A-Za-z0-9+.-]*:.*")) continue;
                String path = link.replaceAll("#.*", "");
                File target = new File(page.getParentFile(), java.net.URLDecoder.decode(path.replace("+", "%2B"),
                        StandardCharsets.UTF_8));
                if (!target.isFile()) broken.add(root.toPath().relativize(page.toPath()) + ": " + link);
            }
        }
        return broken;
    }

    /** Every regular file below root (lock, log and notes of the mirror left out), by relative path. */
    static Map<String, File> files(File root) throws IOException {
        Map<String, File> out = new TreeMap<>();
        try (Stream<Path> s = Files.walk(root.toPath())) {
            s.filter(Files::isRegularFile).forEach(p -> {
                String rel = root.toPath().relativize(p).toString();
                if (!rel.startsWith(".x7fenwix") && !rel.equals(OutFiles.LOG_NAME)) out.put(rel, p.toFile());
            });
        }
        return out;
    }

    /** Bytes and times of every file below root, to compare a copy before and after a run. */
    static Map<String, String> snapshot(File root) throws IOException {
        Map<String, String> out = new TreeMap<>();
        for (Map.Entry<String, File> e : files(root).entrySet()) {
            byte[] b = Files.readAllBytes(e.getValue().toPath());
            out.put(e.getKey(), e.getValue().lastModified() + " " + Arrays.hashCode(b) + " " + b.length);
        }
        return out;
    }
}
