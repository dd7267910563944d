import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayInputStream;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.util.Random;

import org.junit.jupiter.api.Test;

/**
 * The pass rewrites the library's links tag by tag, without a tree: on any
 * page it must give what the tree of the page, walked and rewritten element
 * by element, gives back.
 */
class TagRewriteTest {
    private static final String[] PIECES = {
        "<a href=b.htm>", "<A HREF=\"../img/a.gif\">", "<img src=/img/a.gif>", "<IMG SRC='a.gif'>", "<frame src=b.htm>",
        "<link rel=stylesheet href=b.htm>", "<meta content=x>", "<title>", "</title>", "</a>", "</A>", "<html>",
        "<body>", "</body>", "<p>", "text ", "<", ">", "<a href=\"caf\u00e9.htm\">", "<a href=\"/dir/caf\u00e9.htm\">", "<a\nhref=b.htm#x>",
        "<!-- <a href=b.htm> -->", "<script>if (a<b) x='<img src=a.gif>'</script>", "<a href=http://site.test/dir/b.htm>",
        "<a href=gone.htm>", "&lt;", "<frameset>", "<head>", "<img src=\"/img/a.gif\" alt='>'>", "\u00e9\u4e2d",
        "<a href=b.htm title=\"x\">", "<a name=top>", "<a href=\"\">", "<a href=#top>", "<imgs src=b.htm>",
        "<a/href=b.htm>", "<\u0130MG src=a.gif>", "</html>",
    };

    /** Names the tag reader's equalsIgnoreCase folds onto an element's name (Kelvin sign, dotless and dotted i) or not. */
    private static final String[] FOLDED = {
        "<lin\u212A rel=stylesheet href=b.htm>", "<t\u0131tle>", "<\u0130MG src=a.gif>", "<\u0131mg src=a.gif>",
        "<\u212A>", "<fram\u00e9 src=b.htm>", "<a\u00a0href=b.htm>", "<a\u2003href=b.htm>", "</\u0131mg>",
    };

    @Test
    void everyPageComesOutAsItsTreeGivesItBack() throws Exception {
        pagesAsTheirTrees(PIECES, StandardCharsets.ISO_8859_1);
        String[] more = java.util.Arrays.copyOf(PIECES, PIECES.length + FOLDED.length);
        System.arraycopy(FOLDED, 0, more, PIECES.length, FOLDED.length);
        pagesAsTheirTrees(more, StandardCharsets.UTF_8);
    }

    private static void pagesAsTheirTrees(String[] pieces, java.nio.charset.Charset charset) throws Exception {
        Random random = new Random(20261209);
        int changed = 0;
        for (int page = 0; page < 400; page++) {
            StringBuilder b = new StringBuilder();
            for (int n = random.nextInt(60); n > 0; n--) b.append(pieces[random.nextInt(pieces.length)]);
            String text = b.toString();

            RewriteFixture byTree = fixture();
            x7Element tree = new x7Element("");
            byte[] bytes = text.getBytes(charset);
            String read = new String(bytes, charset);
            tree.findChild(new InputStreamReader(new ByteArrayInputStream(bytes), charset));
            int[] links = {0};
            tree.forEachTag((e, tag) -> {
                String before = e.getTagText();
                byTree.up.repAttrib(e, tag);
                String attribute = LinkAttributes.rewritten(tag);
                if (attribute != null && !e.getTagText().equals(before)) {
                    links[0]++;
                    TagRewrite.encodeOutsideAscii(e, attribute);
                }
            });
            String expected = tree.toString();

            RewriteFixture byTags = fixture();
            TagRewrite.Result r = TagRewrite.rewrite(read, byTags.up);
            assertEquals(expected, r.page, "page " + page + ": " + read);
            assertEquals(links[0], r.links, "page " + page + ": " + read);
            assertEquals(byTree.up.isModified, byTags.up.isModified, "page " + page + ": " + read);
            assertEquals(byTree.asked, byTags.asked, "page " + page + ": " + read);
            if (!r.page.equals(read)) changed++;
        }
        assertTrue(changed > 100, "pages whose links changed: " + changed);
    }

    private static RewriteFixture fixture() throws Exception {
        RewriteFixture f = new RewriteFixture("http://site.test/dir/page.htm", "/m/site.test/dir/page.htm");
        f.target("http://site.test/img/a.gif", "/m/site.test/img/a.gif");
        f.target("http://site.test/dir/b.htm", "/m/site.test/dir/b.htm");
        f.target("http://site.test/dir/caf\u00e9.htm", "/m/site.test/dir/caf\u00e9.htm");
        f.notLoaded("http://site.test/dir/gone.htm");
        return f;
    }
}
