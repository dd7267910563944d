import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.io.IOException;
import java.io.PrintStream;
import java.net.MalformedURLException;
import java.net.URL;
import java.nio.charset.Charset;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import java.util.stream.Stream;

/**
 * Whether a copy is whole offline: every reference of its pages and
 * stylesheets, read as a browser reads it from the saved file, must lead to
 * a saved file. Web addresses of targets that were not saved are no fault,
 * unless the copy holds that target (then the link should name the file).
 */
final class CopyCheck {
    /** One reference that does not resolve to a saved file. */
    record Broken(String document, String reference, String why) {
        @Override
        public String toString() {
            return document + "\t" + reference + "\t" + why;
        }
    }

    final List<Broken> broken = new ArrayList<>();
    int documents;
    int references;

    private final File out;
    private final Path root;

    CopyCheck(File out) {
        this.out = out;
        this.root = out.getAbsoluteFile().toPath().normalize();
    }

    /** Checks every page and stylesheet below the site parts of the copy. */
    CopyCheck run() throws IOException {
        List<Path> docs = new ArrayList<>();
        try (Stream<Path> s = Files.walk(root)) {
            s.filter(p -> p.getParent() != null && !p.getParent().equals(root) && Files.isRegularFile(p))
                    .filter(p -> !p.getFileName().toString().startsWith(".")
                            && !p.getFileName().toString().endsWith(".INCOMPLETE"))
                    .sorted().forEach(docs::add);
        }
        for (Path p : docs) {
            boolean css = isStylesheet(p);
            if (!css && !isPage(p)) continue;
            document(p, css);
        }
        return this;
    }

    static boolean isStylesheet(Path p) {
        return BodyKinds.isStylesheet(null, p.toFile());
    }

    private static boolean isPage(Path p) {
        String n = p.getFileName().toString().toLowerCase(Locale.ROOT);
        return n.endsWith(".htm") || n.endsWith(".html") || SavedLinks.startsLikePage(p.toFile());
    }

    private void document(Path p, boolean css) throws IOException {
        byte[] bytes = Files.readAllBytes(p);
        documents++;
        NodeURL probe = new NodeURL(0, -1, null, null);
        probe.setLoadedFilename(p.toString());
        Charset cs = css ? java.nio.charset.StandardCharsets.UTF_8 : PageCharset.of(probe);
        String name = root.relativize(p).toString().replace(File.separatorChar, '/');
        Path dir = p.getParent();
        for (PageRefs.Ref r : PageRefs.of(bytes, bytes.length, css)) {
            String text = PageRefs.text(bytes, r, cs);
            String raw = new String(bytes, r.start(), r.end() - r.start(), cs);
            if (text.isEmpty()) continue;
            references++;
            String why = r.target() == PageRefs.BASE ? baseFault(text, p) : fault(text, dir);
            if (why != null) broken.add(new Broken(name, raw, why));
        }
    }

    /** Why a base href sends the page's links off the copy; null when it keeps them at the saved file. */
    private static String baseFault(String text, Path page) {
        if (!RefRewrite.isRelativePath(text) || text.startsWith("//")) return "base href leads off the copy";
        return null;
    }

    /** Why a reference, read from a file in dir, leads to no saved file; null when it does. */
    private String fault(String text, Path dir) {
        if (text.startsWith("#")) return null;
        String lower = text.toLowerCase(Locale.ROOT);
        if (lower.startsWith("//")) return "names another host";
        if (lower.matches("^[a-z][a-z0-9+.-]*:.*")) {
            if (!lower.startsWith("http:") && !lower.startsWith("https:")) return null;  // mailto:, data:, javascript:
            try {
                URL u = new URL(text);
                File saved = LocalNames.localFile(out, SavedLinks.requestable(u));
                return saved.isFile() ? "web address of a saved file" : null;
            } catch (MalformedURLException | RuntimeException e) {
                return null;  // no web address a browser could load either
            }
        }
        if (text.startsWith("/") || text.startsWith("\\")) return "from the root of the disk";
        int hash = text.indexOf('#');
        String bare = hash < 0 ? text : text.substring(0, hash);
        int q = bare.indexOf('?');
        if (q >= 0) bare = bare.substring(0, q);
        if (bare.isEmpty()) return null;  // the page itself
        Path f;
        try {
            f = dir.resolve(SavedLinks.decoded(bare)).toAbsolutePath().normalize();
        } catch (java.nio.file.InvalidPathException e) {
            return "no file can have this name";
        }
        if (!f.startsWith(root) || f.equals(root)) return "leads out of the copy";
        if (Files.isDirectory(f)) return "names a folder";
        if (!Files.isRegularFile(f)) return q >= 0 ? "no saved file (a query names no file)" : "no saved file";
        return null;
    }

    /** Prints the faults, one a line (document, reference, why), and a summary line. */
    void print(PrintStream con) {
        for (Broken b : broken) con.println("Broken: " + b);
        con.println("Check: " + references + " references in " + documents + " pages and stylesheets, "
                + (broken.isEmpty() ? "all resolve to saved files" : broken.size() + " do not resolve to a saved file"));
    }

    boolean whole() {
        return broken.isEmpty();
    }
}
