import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.File;
import java.io.FileInputStream;
import java.io.IOException;
import java.io.InputStreamReader;
import java.io.StringWriter;
import java.util.ArrayList;
import java.util.List;
import java.util.Random;

import org.junit.jupiter.api.Test;

/**
 * Writing a tree back, each placeholder expanded into its child's tag text
 * and content, gives the page character for character; and the tree is the
 * one the plain model of the reader builds.
 */
class RoundTripTest {
    /** Where Debian puts the HTML of the sqlite3-doc package (it has moved between releases). */
    private static final String[] SQLITE_DOC = {"/usr/share/doc/sqlite3-doc", "/usr/share/doc/sqlite3"};

    private static void pages(File dir, List<File> out) {
        File[] files = dir.listFiles();
        if (files == null) return;
        for (File f : files) {
            if (f.isDirectory()) {
                pages(f, out);
            } else if (f.getName().endsWith(".html") || f.getName().endsWith(".htm")) {
                out.add(f);
            }
        }
    }

    private static String decoded(File f) throws IOException {
        // the same decoding the page scan's reader does: the default charset
        try (InputStreamReader r = new InputStreamReader(new FileInputStream(f))) {
            StringWriter w = new StringWriter();
            r.transferTo(w);
            return w.toString();
        }
    }

    private static void check(String page, x7Element root, String what) {
        x7Element model = Trees.model(page);
        assertEquals(Trees.dump(model), Trees.dump(root), what);
        if (!page.contains(x7Element.PLACEHOLDER)) {
            assertTrue(root.isFaithful(), what);
            assertEquals(page, root.toString(), what);
        }
    }

    @Test
    void realPagesComeBackCharacterForCharacter() throws IOException {
        List<File> files = new ArrayList<>();
        for (String d : SQLITE_DOC) pages(new File(d), files);
        assertTrue(files.size() >= 100, "the sqlite3-doc pages are installed: " + files.size());
        int elements = 0;
        long chars = 0;
        for (File f : files) {
            String page = decoded(f);
            x7Element root = new x7Element("");
            try (InputStreamReader r = new InputStreamReader(new FileInputStream(f))) {
                root.findChild(r);
            }
            assertFalse(page.contains(x7Element.PLACEHOLDER), f.getPath());
            check(page, root, f.getPath());
            elements += Trees.flatten(root).size();
            chars += page.length();
        }
        assertTrue(elements > files.size() * 3, "the pages have trees, not just text: " + elements);
        System.out.println("round trip: " + files.size() + " pages, " + chars + " characters, " + elements
                + " elements");
    }

    @Test
    void pageReaderGivesTheCharactersOfTheReaderBelow() throws IOException {
        // blocks that end inside a character's bytes and between surrogates
        StringBuilder b = new StringBuilder();
        Random r = new Random(7);
        String[] parts = {"<a href=x>", "text ", "\u00e9", "\u20ac", "\ud83d\ude00", "</a>"};
        while (b.length() < 50_000) b.append(parts[r.nextInt(parts.length)]);
        String page = b.toString();
        StringBuilder got = new StringBuilder();
        try (PageReader in = new PageReader(Trees.reader(page))) {
            char[] some = new char[777];
            // one at a time, as the tag reader reads, and now and then a run
            for (int i = 1; ; i++) {
                boolean run = i % 50 == 0;
                int c = run ? in.read(some, 0, some.length) : in.read();
                if (c < 0) break;
                if (run) got.append(some, 0, c); else got.append((char) c);
            }
        }
        assertEquals(page, got.toString());
        assertEquals(page, Trees.read(page).toString(), "the tree read through it gives the page back");
    }

    @Test
    void hostileInputComesBackCharacterForCharacter() {
        Random r = new Random(20240607L);
        int inputs = 3000;
        int withPlaceholder = 0;
        for (int i = 0; i < inputs; i++) {
            String page = Trees.randomPage(r);
            if (page.contains(x7Element.PLACEHOLDER)) withPlaceholder++;
            check(page, Trees.read(page), "input " + i + ": " + page);
        }
        assertTrue(withPlaceholder > 0 && withPlaceholder < inputs, "both kinds of input were tried");
        System.out.println("round trip: " + inputs + " random inputs, " + withPlaceholder + " with the placeholder text");
    }
}
