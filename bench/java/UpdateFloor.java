import java.io.IOException;
import java.io.InputStream;
import java.net.HttpURLConnection;
import java.net.URL;
import java.nio.file.Files;
import java.nio.file.Path;
import java.text.SimpleDateFormat;
import java.util.ArrayList;
import java.util.Date;
import java.util.List;
import java.util.Locale;
import java.util.TimeZone;
import java.util.concurrent.atomic.AtomicInteger;

/**
 * The JVM's floor for an update: in a JVM of its own, the requests of the
 * Mirror's update (one URI a line) made again through HttpURLConnection, as
 * many connections as the Mirror's default, each with an If-Modified-Since
 * that the server answers 304 to for every file it has (the bench's nginx
 * reads the condition as "before"), bodies read and dropped. No file, no
 * page, no record: what the update costs before any of the Mirror's work.
 *
 *   UpdateFloor BASE-URL URI-FILE THREADS
 */
final class UpdateFloor {
    private UpdateFloor() {}

    public static void main(String[] args) throws Exception {
        String base = args[0];
        List<String> uris = Files.readAllLines(Path.of(args[1]));
        int threads = Integer.parseInt(args[2]);
        SimpleDateFormat f = new SimpleDateFormat("EEE, dd MMM yyyy HH:mm:ss 'GMT'", Locale.US);
        f.setTimeZone(TimeZone.getTimeZone("GMT"));
        String now = f.format(new Date());
        AtomicInteger next = new AtomicInteger();
        AtomicInteger failed = new AtomicInteger();
        List<Thread> running = new ArrayList<>();
        for (int t = 0; t < threads; t++) {
            Thread th = new Thread(() -> {
                byte[] buf = new byte[8192];
                for (int i = next.getAndIncrement(); i < uris.size(); i = next.getAndIncrement()) {
                    try {
                        HttpURLConnection c = (HttpURLConnection) new URL(base + uris.get(i)).openConnection();
                        c.setRequestProperty("If-Modified-Since", now);
                        int code = c.getResponseCode();
                        InputStream in = code >= 400 ? c.getErrorStream() : c.getInputStream();
                        if (in != null) {
                            while (in.read(buf) > 0) {
                                // dropped
                            }
                            in.close();
                        }
                    } catch (IOException e) {
                        failed.incrementAndGet();
                    }
                }
            });
            th.start();
            running.add(th);
        }
        for (Thread th : running) th.join();
        if (failed.get() > 0) {
            System.err.println("update floor: " + failed.get() + " requests failed");
            System.exit(1);
        }
    }
}
