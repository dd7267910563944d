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

    @Test
    void everyPageComesOutAsItsTreeGivesItBack() throws Exception {
        Random random = new Random(20261209);
        int changed = 0;
        for (int page = 0; page < 400; page++) {
            StringBuilder b = new StringBuilder();
            for (int n = random.nextInt(60); n > 0; n--) b.append(PIECES[random.nextInt(PIECES.length)]);
            String text = b.toString();

            RewriteFixture byTree = fixture();
            x7Element tree = new x7Element("");
            byte[] bytes = text.getBytes(StandardCharsets.ISO_8859_1);
            String latin1 = new String(bytes, StandardCharsets.ISO_8859_1);
            tree.findChild(new InputStreamReader(new ByteArrayInputStream(bytes), StandardCharsets.ISO_8859_1));
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
            TagRewrite.Result r = TagRewrite.rewrite(latin1, byTags.up);
            assertEquals(expected, r.page, "page " + page + ": " + latin1);
            assertEquals(links[0], r.links, "page " + page + ": " + latin1);
            assertEquals(byTree.up.isModified, byTags.up.isModified, "page " + page + ": " + latin1);
            assertEquals(byTree.asked, byTags.asked, "page " + page + ": " + latin1);
            if (!r.page.equals(latin1)) changed++;
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
