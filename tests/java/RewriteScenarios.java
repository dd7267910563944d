/** Child JVM scenarios of link rewriting whose diagnostics go to standard output. */
public class RewriteScenarios {
    public static void main(String[] args) throws Exception {
        for (String a : args) {
            System.out.println("== " + a);
            System.out.flush();
            if (a.equals("refused")) {
                RewriteFixture f = new RewriteFixture(RewriteTest.PAGE, RewriteTest.PAGE_FILE);
                f.target("http://site.test/img/a.gif", "/m/site.test/img/a.gif");
                RewriteFixture.Element e = new RewriteFixture.Element("<img src=/img/a.gif>");
                e.refuse = true;
                f.up.repAttrib(e, "img");
                System.out.println("replaced=" + e.replaced + " isModified=" + f.up.isModified + " tag=" + e.getTagText());
            }
            System.out.flush();
        }
    }
}
