import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.net.HttpURLConnection;
import java.net.URL;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.function.BooleanSupplier;
import java.util.function.Consumer;

/**
 * robots.txt of each site part, read once before the first of its URLs is
 * fetched: the group of the run's user agent, else '*'; Disallow and Allow
 * with the longest match winning (Allow on a tie); Crawl-delay handed to the
 * pace. A robots.txt that is missing (4xx) or cannot be read allows all.
 */
final class Robots {
    /** Longest robots.txt read; the rest is ignored. */
    private static final int MAX_BYTES = 512 * 1024;

    /** The rules of one site part for one user agent. */
    static final class Rules {
        static final Rules ALL = new Rules(List.of(), -1);

        /** Each rule: its path pattern and whether it allows. */
        private final List<String[]> rules;
        /** Seconds; negative when not given. */
        final double crawlDelay;

        Rules(List<String[]> rules, double crawlDelay) {
            this.rules = rules;
            this.crawlDelay = crawlDelay;
        }

        /** Whether a path (with its query) may be fetched; null when allowed, else the rule that forbids it. */
        String disallowedBy(String pathAndQuery) {
            int best = -1;
            boolean allow = true;
            String rule = null;
            for (String[] r : rules) {
                if (!matches(r[1], pathAndQuery)) continue;
                int len = r[1].length();
                boolean a = r[0].equals("allow");
                if (len > best || len == best && a) {
                    best = len;
                    allow = a;
                    rule = r[1];
                }
            }
            return allow ? null : "Disallow: " + rule;
        }

        /** A robots.txt path pattern: '*' any characters, a final '$' the end. */
        static boolean matches(String pattern, String path) {
            boolean anchored = pattern.endsWith("$");
            String p = anchored ? pattern.substring(0, pattern.length() - 1) : pattern;
            return match(p, 0, path, 0, anchored);
        }

        private static boolean match(String p, int i, String s, int j, boolean anchored) {
            while (i < p.length()) {
                char c = p.charAt(i);
                if (c == '*') {
                    while (i < p.length() && p.charAt(i) == '*') i++;
                    if (i == p.length()) return true;
                    for (int k = j; k <= s.length(); k++) {
                        if (match(p, i, s, k, anchored)) return true;
                    }
                    return false;
                }
                if (j >= s.length() || s.charAt(j) != c) return false;
                i++;
                j++;
            }
            return !anchored || j == s.length();
        }
    }

    /** The rules for agent in a robots.txt's text. */
    static Rules parse(String text, String agent) {
        String ua = agent.toLowerCase(Locale.ROOT);
        String token = ua.split("[/\\s]", 2)[0];
        List<String[]> mine = new ArrayList<>();
        List<String[]> any = new ArrayList<>();
        double mineDelay = -1;
        double anyDelay = -1;
        boolean mineFound = false;
        List<String> agents = new ArrayList<>();
        boolean inRules = false;
        boolean forMe = false;
        boolean forAny = false;
        for (String raw : text.split("\r\n|\r|\n")) {
            int hash = raw.indexOf('#');
            String line = (hash >= 0 ? raw.substring(0, hash) : raw).trim();
            int colon = line.indexOf(':');
            if (colon <= 0) continue;
            String field = line.substring(0, colon).trim().toLowerCase(Locale.ROOT);
            String value = line.substring(colon + 1).trim();
            if (field.equals("user-agent")) {
                if (inRules) {
                    agents.clear();
                    inRules = false;
                }
                agents.add(value.toLowerCase(Locale.ROOT));
                forMe = false;
                forAny = false;
                for (String a : agents) {
                    if (a.equals("*")) forAny = true;
                    else if (!a.isEmpty() && (a.equals(token) || ua.contains(a))) forMe = true;
                }
                mineFound |= forMe;
                continue;
            }
            if (agents.isEmpty()) continue;
            inRules = true;
            if (field.equals("allow") || field.equals("disallow")) {
                // an empty Disallow allows everything: no rule
                if (value.isEmpty()) continue;
                String[] rule = {field, value};
                if (forMe) mine.add(rule);
                if (forAny) any.add(rule);
            } else if (field.equals("crawl-delay")) {
                try {
                    double d = Double.parseDouble(value);
                    if (d >= 0 && d <= 3600) {
                        if (forMe) mineDelay = Math.max(mineDelay, d);
                        if (forAny) anyDelay = Math.max(anyDelay, d);
                    }
                } catch (NumberFormatException e) {
                    // not a number: no delay
                }
            }
        }
        return mineFound ? new Rules(mine, mineDelay) : new Rules(any, anyDelay);
    }

    private final Requests requests;
    private final BooleanSupplier stopped;
    private final Consumer<String> log;
    private final Map<String, Rules> bySite = new HashMap<>();
    /** Site parts whose robots.txt got no answer in time. */
    private final java.util.Set<String> silent = new java.util.HashSet<>();

    Robots(Requests requests, BooleanSupplier stopped, Consumer<String> log) {
        this.requests = requests;
        this.stopped = stopped;
        this.log = log;
    }

    /** Why robots.txt forbids u, or null when it allows it. */
    synchronized String disallowedBy(URL u) {
        String site = Pace.site(u);
        Rules rules = bySite.get(site);
        if (rules == null) {
            rules = fetch(u);
            bySite.put(site, rules);
            if (rules.crawlDelay > 0) requests.pace.crawlDelay(u, rules.crawlDelay);
        }
        String path = u.getPath().isEmpty() ? "/" : u.getPath();
        return rules.disallowedBy(u.getQuery() == null ? path : path + "?" + u.getQuery());
    }

    /** Whether u's site part let the request for robots.txt time out: another request would wait as long. */
    synchronized boolean timedOut(URL u) {
        return silent.contains(Pace.site(u));
    }

    private Rules fetch(URL page) {
        URL u;
        try {
            u = new URL(page, "/robots.txt");
        } catch (java.net.MalformedURLException e) {
            return Rules.ALL;
        }
        // a few redirects (http to https, another host name) as any client follows them
        for (int hop = 0; hop < 5; hop++) {
            if (!requests.pace.before(u, stopped)) return Rules.ALL;
            requests.activity.set("reading " + u);
            HttpURLConnection c = null;
            try {
                c = requests.open(u);
                int code = c.getResponseCode();
                if (Redirects.isRedirect(code) && c.getHeaderField("Location") != null) {
                    u = new URL(u, c.getHeaderField("Location"));
                    continue;
                }
                if (code >= 400) {
                    log.accept("robots.txt:" + u + " (HTTP " + code + ", everything allowed)\n");
                    return Rules.ALL;
                }
                if (code != 200) return Rules.ALL;
                try (InputStream in = c.getInputStream()) {
                    ByteArrayOutputStream b = new ByteArrayOutputStream();
                    byte[] buf = new byte[8192];
                    for (int n; b.size() < MAX_BYTES && (n = in.read(buf)) > 0; ) b.write(buf, 0, n);
                    return parse(b.toString(StandardCharsets.UTF_8), requests.agent());
                }
            } catch (IOException | IllegalArgumentException e) {
                if (e instanceof java.net.SocketTimeoutException) silent.add(Pace.site(page));
                log.accept("robots.txt:" + u + " (" + (e instanceof IOException ? Causes.of(e) : e.toString())
                        + ", everything allowed)\n");
                return Rules.ALL;
            } finally {
                if (c != null) c.disconnect();
                requests.pace.after(u);
            }
        }
        return Rules.ALL;
    }
}
