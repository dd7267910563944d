import java.io.File;
import java.net.MalformedURLException;
import java.net.URL;
import java.util.ArrayList;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Locale;
import java.util.Set;

/** What the user asked of a run: the command line, checked (Help describes it). */
final class Options {
    static final int DEFAULT_PORT = 8765;

    /** Thrown for input that the user has to correct; the message says what. */
    static final class Usage extends Exception {
        Usage(String message) {
            super(message);
        }
    }

    URL start;
    File out = new File("mirror-out");
    int depth = Integer.MAX_VALUE;
    int port = DEFAULT_PORT;
    boolean portGiven;
    /** Check the copy after the run (--check). */
    boolean check;
    /** Check an existing copy only: --check with OUT alone. */
    boolean checkOnly;
    /** Site parts ("host:port") whose links are followed. */
    final Set<String> allowed = new LinkedHashSet<>();
    boolean parent;
    final List<PathPattern> include = new ArrayList<>();
    final List<PathPattern> exclude = new ArrayList<>();
    /** Largest file in bytes; negative for no limit. */
    long maxSize = -1;
    long minFree = 50L * 1024 * 1024;
    boolean robots = true;
    double waitSeconds;
    /** Bytes a second at most; 0 for no limit. */
    long limitRate;
    /** null: the library's own. */
    String userAgent;
    int tries = 3;
    /** Requests at once to one site part (one where a wait applies). */
    int maxThreads = 4;
    int connectTimeoutMs = 30_000;
    int readTimeoutMs = 30_000;
    long minRate = 100;
    int minRateMs = 30_000;
    boolean checkCertificate = true;

    /** Parses the arguments; null when only the help was asked for. */
    static Options parse(String[] args) throws Usage {
        Options o = new Options();
        String url = null;
        String folder = null;
        for (int i = 0; i < args.length; i++) {
            String a = args[i];
            switch (a) {
                case "--help":
                case "-h":
                    return null;
                case "--no-parent":
                case "-np":
                    o.parent = false;
                    break;
                case "--mirror":
                case "-m":
                case "-r":
                case "-k":
                case "-p":
                case "-N":
                    // what every run does already
                    break;
                case "--level":
                case "-l":
                case "--depth":
                    o.depth = number(a, value(args, ++i, a));
                    break;
                case "--port":
                    o.port = number(a, value(args, ++i, a));
                    if (o.port < 1 || o.port > 65534) {
                        throw new Usage("--port wants a port from 1 to 65534, not " + o.port);
                    }
                    o.portGiven = true;
                    break;
                case "--check":
                    o.check = true;
                    break;
                case "--allow":
                    o.allowed.add(site(value(args, ++i, a)));
                    break;
                case "--parent":
                    o.parent = true;
                    break;
                case "--include":
                    o.include.add(pattern(a, value(args, ++i, a)));
                    break;
                case "--exclude":
                    o.exclude.add(pattern(a, value(args, ++i, a)));
                    break;
                case "--max-size":
                    o.maxSize = size(a, value(args, ++i, a));
                    break;
                case "--min-free":
                    o.minFree = size(a, value(args, ++i, a));
                    break;
                case "--no-robots":
                    o.robots = false;
                    break;
                case "--wait":
                case "-w":
                    o.waitSeconds = seconds(a, value(args, ++i, a));
                    break;
                case "--limit-rate":
                    o.limitRate = size(a, value(args, ++i, a));
                    break;
                case "--user-agent":
                case "-U":
                    o.userAgent = value(args, ++i, a);
                    if (o.userAgent.isEmpty() || o.userAgent.matches("(?s).*[\\r\\n].*")) {
                        throw new Usage(a + " wants a text on one line");
                    }
                    break;
                case "--max-threads":
                    o.maxThreads = number(a, value(args, ++i, a));
                    if (o.maxThreads < 1) throw new Usage(a + " wants a number of 1 or more, not " + o.maxThreads);
                    break;
                case "--tries":
                case "-t":
                    o.tries = number(a, value(args, ++i, a));
                    if (o.tries < 1) throw new Usage(a + " wants a number of 1 or more, not " + o.tries);
                    break;
                case "--timeout":
                case "-T":
                    o.connectTimeoutMs = o.readTimeoutMs = millis(a, value(args, ++i, a));
                    break;
                case "--connect-timeout":
                    o.connectTimeoutMs = millis(a, value(args, ++i, a));
                    break;
                case "--read-timeout":
                    o.readTimeoutMs = millis(a, value(args, ++i, a));
                    break;
                case "--min-rate":
                    o.minRate = size(a, value(args, ++i, a));
                    break;
                case "--min-rate-time":
                    o.minRateMs = millis(a, value(args, ++i, a));
                    break;
                case "--no-check-certificate":
                    o.checkCertificate = false;
                    break;
                default:
                    if (a.startsWith("-") && a.length() > 1) throw new Usage("unknown option " + a);
                    if (url == null) url = a;
                    else if (folder == null) folder = a;
                    else throw new Usage("too many arguments: " + a);
            }
        }
        if (o.check && folder == null && url != null && !url.equals("-") && !url.contains("://")) {
            // Mirror --check OUT: the copy in OUT, as it is
            o.checkOnly = true;
            o.out = new File(url);
            if (!o.out.isDirectory()) throw new Usage("no copy to check in " + url + " (not a folder)");
            return o;
        }
        if (url != null && !url.equals("-")) o.start = startUrl(url);
        if (o.start != null && o.portGiven) throw new Usage("--port is for the sample site, which runs only without URL");
        if (folder != null) o.out = new File(folder);
        return o;
    }

    private static String value(String[] args, int i, String option) throws Usage {
        if (i >= args.length) throw new Usage(option + " wants a value");
        return args[i];
    }

    private static int number(String option, String v) throws Usage {
        try {
            int n = Integer.parseInt(v);
            if (n < 0) throw new NumberFormatException();
            return n;
        } catch (NumberFormatException e) {
            throw new Usage(option + " wants a number of 0 or more, not '" + v + "'");
        }
    }

    private static PathPattern pattern(String option, String v) throws Usage {
        if (v.isEmpty()) throw new Usage(option + " wants a pattern");
        return new PathPattern(v);
    }

    private static double seconds(String option, String v) throws Usage {
        try {
            double d = Double.parseDouble(v);
            if (!(d >= 0) || d > 86_400) throw new NumberFormatException();
            return d;
        } catch (NumberFormatException e) {
            throw new Usage(option + " wants a number of seconds, not '" + v + "'");
        }
    }

    /** Seconds as milliseconds, at least 1; "0" would mean no timeout at all to the JDK. */
    private static int millis(String option, String v) throws Usage {
        double d = seconds(option, v);
        if (d <= 0) throw new Usage(option + " wants a number of seconds above 0, not '" + v + "'");
        return (int) Math.max(1, Math.round(d * 1000));
    }

    /** A byte count with an optional suffix k, m or g (powers of 1024). */
    static long size(String option, String v) throws Usage {
        String t = v.trim().toLowerCase(Locale.ROOT);
        long unit = 1;
        if (!t.isEmpty()) {
            char last = t.charAt(t.length() - 1);
            unit = last == 'k' ? 1024L : last == 'm' ? 1024L * 1024 : last == 'g' ? 1024L * 1024 * 1024 : 1;
            if (unit > 1) t = t.substring(0, t.length() - 1);
        }
        try {
            double d = Double.parseDouble(t);
            if (!(d >= 0) || d * unit > Long.MAX_VALUE / 2) throw new NumberFormatException();
            return (long) (d * unit);
        } catch (NumberFormatException e) {
            throw new Usage(option + " wants a size in bytes (suffix k, m or g), not '" + v + "'");
        }
    }

    static URL startUrl(String s) throws Usage {
        URL u;
        try {
            u = new URL(s);
        } catch (MalformedURLException e) {
            if (s.matches("[A-Za-z0-9.-]+\\.[A-Za-z0-9.-]+(:\\d+)?(/\\S*)?")) {
                throw new Usage("not a URL: '" + s + "' (did you mean http://" + s + " ?)");
            }
            throw new Usage("not a URL: '" + s + "' (" + e.getMessage() + ")");
        }
        String p = u.getProtocol().toLowerCase(Locale.ROOT);
        if (!p.equals("http") && !p.equals("https")) {
            throw new Usage("only http:// and https:// URLs can be mirrored, not '" + s + "'");
        }
        if (u.getHost() == null || u.getHost().isEmpty()) throw new Usage("the URL names no host: '" + s + "'");
        try {
            if (u.getPath().isEmpty()) u = new URL(u, "/");
            return SavedLinks.requestable(u);
        } catch (MalformedURLException e) {
            throw new Usage("not a URL: '" + s + "' (" + e.getMessage() + ")");
        }
    }

    /** "host:port" of a URL, the port made explicit. */
    static String site(URL u) {
        int p = u.getPort() == -1 ? u.getDefaultPort() : u.getPort();
        return u.getHost().toLowerCase(Locale.ROOT) + ":" + p;
    }

    private static String site(String hostPort) throws Usage {
        String s = hostPort.contains("://") ? hostPort : "http://" + hostPort;
        try {
            URL u = new URL(s);
            if (u.getHost().isEmpty()) throw new MalformedURLException("no host");
            return site(u);
        } catch (MalformedURLException e) {
            throw new Usage("--allow wants HOST or HOST:PORT, not '" + hostPort + "'");
        }
    }
}
