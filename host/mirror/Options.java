import java.io.File;
import java.net.MalformedURLException;
import java.net.URL;
import java.util.ArrayList;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Locale;
import java.util.Set;

/** What the user asked of a run: the command line, checked, and the help that describes it. */
final class Options {
    static final int DEFAULT_PORT = 8765;

    static final String HELP = String.join("\n",
            "Usage: Mirror [URL] [OUT] [options]",
            "",
            "Copies the web site at URL into the folder OUT so that it can be read",
            "offline, with its links pointing at the saved files. Run it again with",
            "the same URL and OUT to update the copy: pages the server reports as",
            "unchanged are not transferred again, and a run that was interrupted goes",
            "on where it stopped.",
            "",
            "  URL          the start page, http:// or https://. Without it (or with -",
            "               in its place), the bundled sample site is served on",
            "               127.0.0.1 and mirrored.",
            "  OUT          the folder for the copy (default: ./mirror-out). Each site",
            "               part (host and port) gets a folder of its own in it.",
            "",
            "What is fetched:",
            "  --depth N, --level N (-l N)",
            "               follow links at most N pages deep from the start page",
            "               (default: no limit). Images, frames and style sheets of a",
            "               page always come with it.",
            "  --allow HOST[:PORT]",
            "               follow links to this site part too; may be given more than",
            "               once. Links to other site parts keep their web address.",
            "  --parent     follow links above the start page's folder too. By default",
            "               pages are fetched only in and below that folder (a page's",
            "               images, frames and style sheets come from anywhere on the",
            "               allowed site parts).",
            "  --no-parent (-np)",
            "               the default: pages in and below the start folder only.",
            "  --include PATTERN, --exclude PATTERN",
            "               fetch only URLs whose path matches an --include pattern",
            "               (when any is given), and none that matches an --exclude",
            "               pattern; both may be given more than once and never apply",
            "               to the start page. A PATTERN without '/' is matched",
            "               against the file name alone ('*.zip'), one with '/'",
            "               against the whole path from its first '/' ('/docs/*/old/').",
            "               '*' stands for any characters but '/', '**' for any",
            "               characters, '?' for one character but '/'; a pattern that",
            "               ends in '/' takes everything below that folder. The query",
            "               is not part of the path.",
            "  --max-size SIZE",
            "               skip a file larger than SIZE bytes (suffix k, m or g);",
            "               a body that grows past it is dropped. Default: no limit.",
            "  --min-free SIZE",
            "               stop saving when OUT's disk has less than SIZE free",
            "               (default 50m); the file in hand is left marked as a part",
            "               and the next run goes on with it.",
            "  --no-robots  ignore robots.txt. By default each site part's robots.txt",
            "               is read first and honoured: the group of the user agent",
            "               (else '*'), Disallow and Allow with the longest match",
            "               winning, Crawl-delay as the least wait.",
            "",
            "How it is fetched:",
            "  --wait SECONDS (-w)",
            "               wait between requests to one site part (default 0).",
            "  --limit-rate RATE",
            "               read bodies at most RATE bytes a second (suffix k or m).",
            "  --user-agent TEXT (-U)",
            "               the User-Agent of every request of the run (default: the",
            "               library's own).",
            "  --tries N (-t)",
            "               attempts of a file (default 3): a failed connection, a",
            "               5xx answer or a transfer that broke off is tried again,",
            "               after 0.5, 1, 2... s. A body cut off midway goes on at once",
            "               from where it stopped (a range request); such an attempt",
            "               that brought new bytes does not count.",
            "  --timeout SECONDS (-T)",
            "               connect and read timeout (default 30).",
            "  --connect-timeout SECONDS, --read-timeout SECONDS",
            "               one of the two.",
            "  --min-rate RATE, --min-rate-time SECONDS",
            "               a transfer slower than RATE bytes a second (default 100)",
            "               over SECONDS (default 30) breaks off and is tried again.",
            "  --no-check-certificate",
            "               accept any TLS certificate (for a self-signed one).",
            "  Redirects are followed within what is fetched, 10 at most; a page is",
            "  saved under the URL it leads to. Bodies are asked for gzip-encoded and",
            "  saved decoded; a part of an encoded body is never resumed: the file is",
            "  fetched whole again.",
            "",
            "  --port N     port of the sample site (default " + DEFAULT_PORT + "; its second",
            "               part answers on N+1). Only without URL.",
            "  --check      after the run, list every reference of the copy's pages",
            "               and style sheets that does not lead to a saved file (page,",
            "               reference, why). Given OUT alone, checks that copy only.",
            "  --help (-h)  this text.",
            "  --mirror (-m), -r, -k, -p, -N",
            "               accepted for wget's users: what every run does (recursive,",
            "               links made local, page requisites, timestamps).",
            "",
            "Errors are logged to OUT/" + OutFiles.LOG_NAME + ", each with its cause.",
            "Exit codes:",
            "    0   the copy is complete. Pages the site does not have (404), and",
            "        what robots.txt, --max-size or the scope left out, are counted,",
            "        not failed.",
            "    1   nothing was done: bad arguments, OUT not usable, site not",
            "        reachable.",
            "    2   the copy was made but something failed (see the log), or the",
            "        run stopped because the disk was nearly full.",
            "    3   (with --check) the copy is not whole offline: some reference",
            "        leads to no saved file.",
            "  130   the run was interrupted (Ctrl-C); run it again to go on.",
            "");

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
