import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.concurrent.TimeUnit;

/**
 * Runs a main class in a child JVM of the same kind as this one (same java,
 * class path and library, -Xcheck:jni) and captures its standard output, where
 * the natives print their diagnostics.
 */
final class Jvm {
    static final String JAVA = System.getProperty("x7.java", System.getProperty("java.home") + "/bin/java");
    static final String CP = System.getProperty("x7.cp", System.getProperty("java.class.path"));
    static final String LIBDIR = System.getProperty("x7.libdir", System.getProperty("java.library.path"));

    /** Warnings of -Xcheck:jni; any of them is a failure. */
    static final String[] JNI_WARNINGS = {"WARNING in native method", "WARNING: JNI", "FATAL ERROR in native method",
            "JNI call made"};

    private Jvm() {}

    static final class Result {
        final int exit;
        final String out;

        Result(int exit, String out) {
            this.exit = exit;
            this.out = out;
        }

        /** Fails when the child printed a JNI warning or did not exit with 0. */
        Result ok() {
            for (String w : JNI_WARNINGS) {
                if (out.contains(w)) throw new AssertionError("JNI warning in child JVM:\n" + out);
            }
            if (exit != 0) throw new AssertionError("child JVM exited with " + exit + ":\n" + out);
            return this;
        }
    }

    static Result run(String mainClass, String... args) throws IOException, InterruptedException {
        return runLimited(-1, mainClass, args);
    }

    /** Runs with the size of files it writes limited to fileLimitKiB (bash's ulimit -f), when not negative. */
    static Result runLimited(long fileLimitKiB, String mainClass, String... args) throws IOException, InterruptedException {
        return runWith(fileLimitKiB, List.of(), mainClass, args);
    }

    /** Runs with further JVM options, which override the defaults (e.g. -Duser.language=de). */
    static Result runWithOptions(List<String> jvmOptions, String mainClass, String... args)
            throws IOException, InterruptedException {
        return runWith(-1, jvmOptions, mainClass, args);
    }

    /**
     * Runs with exactly the given environment (e.g. none but PATH, as cron or
     * "env -i" would start it) instead of this JVM's.
     */
    static Result runInEnvironment(Map<String, String> environment, String mainClass, String... args)
            throws IOException, InterruptedException {
        return runWith(-1, List.of(), environment, mainClass, args);
    }

    private static Result runWith(long fileLimitKiB, List<String> jvmOptions, String mainClass, String... args)
            throws IOException, InterruptedException {
        return runWith(fileLimitKiB, jvmOptions, null, mainClass, args);
    }

    private static Result runWith(long fileLimitKiB, List<String> jvmOptions, Map<String, String> environment,
            String mainClass, String... args) throws IOException, InterruptedException {
        List<String> cmd = new ArrayList<>();
        if (fileLimitKiB >= 0) {
            cmd.addAll(Arrays.asList("bash", "-c", "ulimit -f " + fileLimitKiB + " && exec \"$@\"", "jvm"));
        }
        cmd.addAll(Arrays.asList(JAVA, "-Xcheck:jni", "-Djava.library.path=" + LIBDIR, "-cp", CP,
                "-Duser.language=en", "-Duser.country=US"));
        cmd.addAll(jvmOptions);
        cmd.add(mainClass);
        cmd.addAll(Arrays.asList(args));
        ProcessBuilder pb = new ProcessBuilder(cmd).redirectErrorStream(true);
        if (environment != null) {
            pb.environment().clear();
            pb.environment().putAll(environment);
        }
        Process p = pb.start();
        ByteArrayOutputStream buf = new ByteArrayOutputStream();
        try (InputStream in = p.getInputStream()) {
            in.transferTo(buf);
        }
        if (!p.waitFor(10, TimeUnit.MINUTES)) {
            p.destroyForcibly();
            throw new AssertionError("child JVM did not finish");
        }
        return new Result(p.exitValue(), buf.toString(StandardCharsets.UTF_8));
    }

    /** A fresh empty folder for one test under the build's scratch folder. */
    static File tempDir(String name) throws IOException {
        File base = new File(System.getProperty("x7.tmp", System.getProperty("java.io.tmpdir")));
        base.mkdirs();
        return java.nio.file.Files.createTempDirectory(base.toPath(), name).toFile();
    }
}
