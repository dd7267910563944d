import java.io.File;
import java.net.MalformedURLException;
import java.net.URL;
import java.util.LinkedHashSet;
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
            "  --depth N    follow links at most N pages deep from the start page",
            "               (default: no limit). Images, frames and style sheets of a",
            "               page always come with it.",
            "  --allow HOST[:PORT]",
            "               follow links to this site part too; may be given more than",
            "               once. Links to other site parts keep their web address.",
            "  --port N     port of the sample site (default " + DEFAULT_PORT + "; its second",
            "               part answers on N+1). Only without URL.",
            "  --check      after the run, list every reference of the copy's pages",
            "               and style sheets that does not lead to a saved file (page,",
            "               reference, why). Given OUT alone, checks that copy only.",
            "  --help       this text.",
            "",
            "Errors are logged to OUT/" + OutFiles.LOG_NAME + ".",
            "Exit code: 0 the copy is complete; 1 nothing was done (bad arguments, OUT",
            "not usable, site not reachable); 2 the copy was made but something failed",
            "(see the log); 3 (with --check) the copy is not whole offline: some",
            "reference leads to no saved file; 130 the run was interrupted (Ctrl-C);",
            "run it again to go on. Pages the site does not have (404) are counted,",
            "not failed.",
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

    /** Whether a URL lies in an allowed site part. */
    boolean inScope(URL u) {
        String p = u.getProtocol().toLowerCase(Locale.ROOT);
        return (p.equals("http") || p.equals("https")) && u.getHost() != null && allowed.contains(site(u));
    }
}
