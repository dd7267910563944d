import java.net.URL;
import java.util.List;
import java.util.Locale;
import java.util.Set;

/**
 * Which URLs the crawl fetches: those of the allowed site parts, pages in and
 * below the start page's folder on its own site part (unless --parent), a
 * page's requisites from anywhere on the allowed parts, the --include and
 * --exclude patterns and the depth.
 */
final class Scope {
    private final URL start;
    private final String startSite;
    private final String folder;
    private final Set<String> sites;
    private final boolean parent;
    private final List<PathPattern> include;
    private final List<PathPattern> exclude;
    private final int depth;

    Scope(Options o) {
        start = o.start;
        startSite = Options.site(o.start);
        String path = o.start.getPath();
        folder = path.substring(0, path.lastIndexOf('/') + 1);
        sites = o.allowed;
        parent = o.parent;
        include = o.include;
        exclude = o.exclude;
        depth = o.depth;
    }

    /** The start page's folder, that pages stay in and below. */
    String folder() {
        return folder;
    }

    /**
     * Why a URL is not fetched, or null when it is. A requisite is a link that
     * loads a part of its page (an image, a frame, a style sheet) rather than
     * leading one level deeper.
     */
    String refuse(URL u, int level, boolean requisite) {
        if (level > depth) return "deeper than --depth";
        String p = u.getProtocol().toLowerCase(Locale.ROOT);
        if (!(p.equals("http") || p.equals("https")) || u.getHost() == null || !sites.contains(Options.site(u))) {
            return "another site part";
        }
        if (UrlLoad.key(u).equals(UrlLoad.key(start))) return null;
        String path = u.getPath().isEmpty() ? "/" : u.getPath();
        if (!parent && !requisite && Options.site(u).equals(startSite) && !below(path)) {
            return "above the start folder " + folder;
        }
        for (PathPattern x : exclude) {
            if (x.matches(path)) return "--exclude " + x;
        }
        if (include.isEmpty()) return null;
        for (PathPattern x : include) {
            if (x.matches(path)) return null;
        }
        return "no --include matches";
    }

    private boolean below(String path) {
        // the folder named without its slash is the folder too: it redirects there
        return path.startsWith(folder) || path.equals(folder.substring(0, Math.max(folder.length() - 1, 1)));
    }
}
