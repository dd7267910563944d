import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import org.junit.jupiter.api.Test;

/** The rules a crawl goes by, without a server: robots.txt groups and matches, --include/--exclude patterns. */
class CrawlRulesTest {
    private static final String ROBOTS = String.join("\r\n",
            "# comments and blank lines are no rules",
            "User-agent: *",
            "Disallow: /private/",
            "Allow: /private/open/",
            "Disallow: /*.cgi$",
            "Disallow:",
            "Crawl-delay: 2",
            "",
            "User-agent: OtherBot",
            "User-agent: testbot",
            "Disallow: /",
            "Allow: /public",
            "Crawl-delay: 0.5",
            "",
            "User-agent: testbot",
            "Disallow: /extra",
            "");

    @Test
    void theAgentsGroupOrStarAndTheLongestMatchDecide() {
        Robots.Rules any = Robots.parse(ROBOTS, "Mozilla/4.0 (compatible; MSIE 4.01; Windows NT");
        assertNull(any.disallowedBy("/index.html"));
        assertEquals("Disallow: /private/", any.disallowedBy("/private/a.html"));
        assertNull(any.disallowedBy("/private/open/a.html"), "the longer Allow wins");
        assertEquals("Disallow: /*.cgi$", any.disallowedBy("/bin/run.cgi"));
        assertNull(any.disallowedBy("/bin/run.cgi?x=1"), "$ anchors at the end");
        assertEquals(2.0, any.crawlDelay);

        // its own groups, merged, case ignored; '*' no longer applies
        Robots.Rules mine = Robots.parse(ROBOTS, "TestBot/2.0 (+http://example.test/bot)");
        assertEquals("Disallow: /", mine.disallowedBy("/index.html"));
        assertNull(mine.disallowedBy("/public/a.html"));
        assertEquals("Disallow: /extra", mine.disallowedBy("/extra/b.html"));
        assertNull(mine.disallowedBy("/publication"), "Allow /public is longer than Disallow /");
        assertEquals(0.5, mine.crawlDelay);

        // a tie goes to Allow; no file allows everything
        Robots.Rules tie = Robots.parse("User-agent: *\nDisallow: /a\nAllow: /a\n", "x");
        assertNull(tie.disallowedBy("/a/b"));
        assertNull(Robots.Rules.ALL.disallowedBy("/anything"));
        Robots.Rules none = Robots.parse("Disallow: /before-any-group\nUser-agent: other\nDisallow: /\n", "x");
        assertNull(none.disallowedBy("/before-any-group"), "rules outside a group and other agents' do not apply");
        assertTrue(none.crawlDelay < 0);
    }

    @Test
    void pathPatternsMatchTheFileNameOrTheWholePath() {
        PathPattern zip = new PathPattern("*.zip");
        assertTrue(zip.matches("/a/b/c.zip"));
        assertFalse(zip.matches("/a/c.zip/index.html"));
        PathPattern old = new PathPattern("/docs/*/old/");
        assertTrue(old.matches("/docs/v1/old/a/b.html"));
        assertTrue(old.matches("/docs/v1/old/"));
        assertFalse(old.matches("/docs/v1/x/old/a.html"), "* stays within one segment");
        PathPattern deep = new PathPattern("/docs/**.html");
        assertTrue(deep.matches("/docs/a/b/c.html"));
        assertFalse(deep.matches("/docs/a/b/c.htm"));
        PathPattern one = new PathPattern("page?.html");
        assertTrue(one.matches("/x/page1.html"));
        assertFalse(one.matches("/x/page12.html"));
        PathPattern literal = new PathPattern("/a+b(c)/[x].html");
        assertTrue(literal.matches("/a+b(c)/[x].html"), "regex characters are literal");
        assertTrue(new PathPattern("docs/").matches("/docs/a.html"), "a path pattern starts at the root");
    }
}
