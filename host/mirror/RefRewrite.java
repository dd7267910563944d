import com.tolvak.fenwix.NodeURL;

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.net.URL;
import java.nio.charset.Charset;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.Locale;

/**
 * The byte part of the rewrite pass: every reference of a saved page or
 * stylesheet, found by PageRefs, is pointed at the saved file of its target
 * by a relative path a browser reading files follows, or at the target's web
 * address when it was not saved. Only the bytes of those references change; a
 * base href is pointed at the page itself, so that relative links stay
 * relative to the saved file. The pass's threads share one; what it keeps is
 * which paths are saved files, asked once each instead of once a reference:
 * no file comes or goes during the pass (a page written back is renamed over
 * itself).
 */
final class RefRewrite {
    /** A document's new bytes and the number of references changed in them. */
    record Spliced(byte[] bytes, int changed) {}

    private final UrlLoad crawler;
    private final CrawlNodes nodes;
    private final Path rootPath;
    private final java.util.Map<Path, Boolean> files = new java.util.concurrent.ConcurrentHashMap<>();

    RefRewrite(UrlLoad crawler, CrawlNodes nodes) {
        this.crawler = crawler;
        this.nodes = nodes;
        this.rootPath = crawler.getRoot().getAbsoluteFile().toPath().normalize();
    }

    /**
     * The document saved as file, given as bytes, with its references
     * rewritten; null when none changes.
     */
    Spliced splice(NodeURL doc, File file, byte[] bytes) {
        boolean css = doc.isCss() && !doc.isHtml();
        List<PageRefs.Ref> refs = PageRefs.of(bytes, bytes.length, css);
        if (refs.isEmpty()) return null;
        Charset cs = PageCharset.of(doc, bytes);
        URL base = RefDiscovery.base(doc.getURL(), bytes, refs, cs);
        boolean moved = !base.toString().equals(doc.getURL().toString());
        Path dir = file.getAbsoluteFile().toPath().normalize().getParent();
        ByteArrayOutputStream out = null;
        int at = 0;
        int changed = 0;
        boolean firstBase = true;
        for (PageRefs.Ref r : refs) {
            String text = PageRefs.text(bytes, r, cs);
            String repl;
            if (r.target() == PageRefs.BASE) {
                // the first base counts; the page itself as base resolves as the saved file does
                repl = firstBase ? SavedLinks.fileLink(file.getName()) : null;
                firstBase = false;
            } else {
                repl = replacement(doc, text, r, base, moved, dir);
            }
            if (repl == null) continue;
            byte[] now = repl.getBytes(cs);
            int len = r.end() - r.start();
            if (now.length == len && java.util.Arrays.equals(bytes, r.start(), r.end(), now, 0, len)) continue;
            if (out == null) out = new ByteArrayOutputStream(bytes.length + 256);
            out.write(bytes, at, r.start() - at);
            out.write(now, 0, now.length);
            at = r.end();
            changed++;
        }
        if (changed == 0) return null;
        out.write(bytes, at, bytes.length - at);
        return new Spliced(out.toByteArray(), changed);
    }

    /**
     * What a reference becomes: the relative path of its saved target, or its
     * web address; null to leave it as it is (no link a mirror follows, or a
     * relative path that names a saved file already).
     */
    private String replacement(NodeURL doc, String text, PageRefs.Ref r, URL base, boolean moved, Path dir) {
        if (!RefDiscovery.followable(crawler, text)) return null;
        int hash = text.indexOf('#');
        String fragment = hash < 0 ? "" : text.substring(hash);
        String bare = hash < 0 ? text : text.substring(0, hash);
        if (!moved && isRelativePath(bare) && bare.indexOf('?') < 0 && !bare.isEmpty()) {
            Path f = savedFile(dir, SavedLinks.decoded(bare));
            // a link written by the library's pass, or one that names the saved file as it is
            if (f != null && isFile(f)) return null;
        }
        URL u = RefDiscovery.linkUrl(base, text, doc.isPreviouslyDownloaded() && !moved, crawler.slashesBelowRoot(doc.getLoadedFilename()));
        if (u == null) return null;
        NodeURL target = nodes.target(u, doc.isPreviouslyDownloaded());
        if (target != null && target.isLoaded() && target.getLoadedFilename() != null) {
            Path f = savedFile(null, target.getLoadedFilename());
            if (f != null && isFile(f)) {
                String rel = dir.relativize(f).toString().replace(File.separatorChar, '/');
                return SavedLinks.fileLink(rel) + escapedFragment(fragment);
            }
        }
        String p = u.getProtocol().toLowerCase(Locale.ROOT);
        if (!p.equals("http") && !p.equals("https")) return null;
        // a web address of a target that was not saved stays as it is written
        if (text.regionMatches(true, 0, "http:", 0, 5) || text.regionMatches(true, 0, "https:", 0, 6)) return null;
        String web = u.toString();
        if (target != null && target.getURL() != null) {
            // the target's URL may keep the fragment of the link that found it first: this one keeps its own
            web = UrlLoad.key(target.getURL()) + escapedFragment(fragment);
        }
        return inContext(web, r);
    }

    /** A fragment as it may stand in any of the contexts, its characters of note escaped. */
    private static String escapedFragment(String fragment) {
        StringBuilder b = new StringBuilder(fragment.length());
        for (int i = 0; i < fragment.length(); i++) {
            char c = fragment.charAt(i);
            if (c <= ' ' || c > '~' || "\"'<>()&,\\".indexOf(c) >= 0) {
                for (byte x : String.valueOf(c).getBytes(java.nio.charset.StandardCharsets.UTF_8)) {
                    b.append(String.format("%%%02X", x & 0xff));
                }
            } else {
                b.append(c);
            }
        }
        return b.toString();
    }

    /** A web address made safe for where it stands: '&' in attributes, quotes and parentheses in CSS. */
    private static String inContext(String web, PageRefs.Ref r) {
        StringBuilder b = new StringBuilder(web.length());
        for (int i = 0; i < web.length(); i++) {
            char c = web.charAt(i);
            if (c == '\'') b.append("%27");
            else if (c == '(' && r.is(PageRefs.IN_CSS)) b.append("%28");
            else if (c == ')' && r.is(PageRefs.IN_CSS)) b.append("%29");
            else if (c == '&' && r.is(PageRefs.IN_ATTR)) b.append("&amp;");
            else if (c <= ' ' || c == '"' || c == '<' || c == '>' || c == '\\') b.append(String.format("%%%02X", (int) c));
            else b.append(c);
        }
        return b.toString();
    }

    private static final java.util.regex.Pattern SCHEME = java.util.regex.Pattern.compile("[A-Za-z][A-Za-z0-9+.-]*:");

    /** A relative path: no scheme, not from the root, not from another host. */
    static boolean isRelativePath(String s) {
        return !s.startsWith("/") && !s.startsWith("\\") && !SCHEME.matcher(s).lookingAt();
    }

    private boolean isFile(Path p) {
        return files.computeIfAbsent(p, Files::isRegularFile);
    }

    /** The normal absolute path of a file (relative to dir when given) below the root; null outside it. */
    private Path savedFile(Path dir, String name) {
        try {
            Path p = dir == null ? new File(name).toPath() : dir.resolve(name);
            Path n = p.toAbsolutePath().normalize();
            return n.startsWith(rootPath) && !n.equals(rootPath) ? n : null;
        } catch (java.nio.file.InvalidPathException | java.io.IOError e) {
            return null;
        }
    }
}
