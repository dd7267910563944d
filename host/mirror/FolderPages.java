import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.io.IOException;
import java.net.MalformedURLException;
import java.net.URL;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.TreeMap;
import java.util.function.Function;

/**
 * A folder's URL and its index page ("/" and "/index.html") that give the same
 * page are saved once, as the folder's page; the index page's own copy goes
 * when the crawl ends, and the next run, told what this one found, asks for
 * the page once.
 */
final class FolderPages {
    /** Copies saved twice, to be removed once the crawl ends. */
    private final List<File> twice = new ArrayList<>();
    /** Found by an earlier run: an index page's URL key to its folder's. */
    private Map<String, String> earlier = new HashMap<>();
    /** The same, as this run finds them, for the next run. */
    private final Map<String, String> sameAs = new TreeMap<>();

    void setEarlier(Map<String, String> found) {
        earlier = new HashMap<>(found);
    }

    /** The folder's URL key of an index page an earlier run found to be it; null for none. */
    String earlier(String indexKey) {
        return earlier.get(indexKey);
    }

    synchronized void same(String indexKey, String folderKey) {
        sameAs.put(indexKey, folderKey);
    }

    synchronized Map<String, String> found() {
        return new TreeMap<>(sameAs);
    }

    /**
     * A page just saved: when it and the page of its folder (or of its index
     * page) are one, {folder's node, index page's node}, the index page's
     * copy noted for removal; else null. known finds a node by URL.
     */
    NodeURL[] saved(NodeURL node, Function<URL, NodeURL> known) {
        URL u = node.getURL();
        if (!node.isLoaded() || !node.isHtml() || u.getQuery() != null || node.getLoadedFilename() == null) return null;
        String path = u.getPath();
        int slash = path.lastIndexOf('/');
        if (slash < 0) return null;
        String name = path.substring(slash + 1).toLowerCase(Locale.ROOT);
        List<String> others = new ArrayList<>();
        if (name.isEmpty()) {
            others.add(path + "index.html");
            others.add(path + "index.htm");
        } else if (name.equals("index.html") || name.equals("index.htm")) {
            others.add(path.substring(0, slash + 1));
        } else {
            return null;
        }
        for (String o : others) {
            NodeURL first;
            try {
                first = known.apply(new URL(u, o));
            } catch (MalformedURLException e) {
                continue;
            }
            if (first == null || first == node || !first.isLoaded() || first.getLoadedFilename() == null) continue;
            File mine = new File(node.getLoadedFilename());
            File theirs = new File(first.getLoadedFilename());
            try {
                if (mine.equals(theirs) || Files.mismatch(mine.toPath(), theirs.toPath()) != -1) continue;
            } catch (IOException e) {
                continue;
            }
            // the folder's copy stays whatever came first: "dir/" is the name a
            // later run finds it under
            NodeURL folder = name.isEmpty() ? node : first;
            NodeURL index = name.isEmpty() ? first : node;
            synchronized (this) {
                sameAs.put(UrlLoad.key(index.getURL()), UrlLoad.key(folder.getURL()));
                twice.add(new File(index.getLoadedFilename()));
            }
            return new NodeURL[] {folder, index};
        }
        return null;
    }

    /** Removes the second copies of pages saved twice; once the scans are done. */
    synchronized void dropSecondCopies() {
        for (File f : twice) f.delete();
        twice.clear();
    }
}
