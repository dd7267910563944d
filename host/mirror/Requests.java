import java.io.File;
import java.io.IOException;
import java.net.HttpURLConnection;
import java.net.URL;
import java.net.URLConnection;
import java.security.SecureRandom;
import java.security.cert.X509Certificate;
import javax.net.ssl.HttpsURLConnection;
import javax.net.ssl.SSLContext;
import javax.net.ssl.SSLSocketFactory;
import javax.net.ssl.TrustManager;
import javax.net.ssl.X509TrustManager;

/**
 * How every request of a run goes out: its timeouts, its identity, the
 * encodings it accepts, the certificate check; and the run's pace, tries and
 * the limits its bodies are read under.
 */
final class Requests {
    /** The library's own User-Agent, for the requests that go out without its headers. */
    static final String LIBRARY_AGENT = "Mozilla/4.0 (compatible; MSIE 4.01; Windows NT";

    /** null: the library's header stays. */
    final String userAgent;
    final int connectTimeoutMs;
    final int readTimeoutMs;
    final boolean checkCertificate;
    final int tries;
    final long maxSize;
    final long minFree;
    final File out;
    final long minRate;
    final int minRateMs;
    final Activity activity;
    final Pace pace;

    Requests(Options o, File out, Activity activity) {
        this.userAgent = o.userAgent;
        this.connectTimeoutMs = o.connectTimeoutMs;
        this.readTimeoutMs = o.readTimeoutMs;
        this.checkCertificate = o.checkCertificate;
        this.tries = o.tries;
        this.maxSize = o.maxSize;
        this.minFree = o.minFree;
        this.out = out;
        this.minRate = o.minRate;
        this.minRateMs = o.minRateMs;
        this.activity = activity;
        this.pace = new Pace(o.waitSeconds, o.limitRate, activity);
    }

    /** What a run without options does: the defaults of the command line. */
    static Requests defaults(File out) {
        return new Requests(new Options(), out, new Activity());
    }

    /** A crawler's own requests without the command line: one attempt each, the JDK's timeouts of old, no limits. */
    static Requests plain(File out) {
        Options o = new Options();
        o.tries = 1;
        o.connectTimeoutMs = 20_000;
        o.readTimeoutMs = 60_000;
        o.minRate = 0;
        o.minFree = 0;
        return new Requests(o, out, new Activity());
    }

    /** The User-Agent the run's requests carry. */
    String agent() {
        return userAgent != null ? userAgent : LIBRARY_AGENT;
    }

    /** Timeouts, no redirects followed by the JDK, the certificate check: before the headers. */
    void configure(URLConnection c) {
        c.setConnectTimeout(connectTimeoutMs);
        c.setReadTimeout(readTimeoutMs);
        c.setUseCaches(false);
        if (c instanceof HttpURLConnection) ((HttpURLConnection) c).setInstanceFollowRedirects(false);
        if (!checkCertificate && c instanceof HttpsURLConnection) {
            HttpsURLConnection s = (HttpsURLConnection) c;
            s.setSSLSocketFactory(TrustAll.FACTORY);
            s.setHostnameVerifier((host, session) -> true);
        }
    }

    /**
     * After the library's headers: the user's agent in place of the library's,
     * and the encodings. A range is asked of the plain body, the one the part
     * on disk holds; anything else may come gzip-encoded.
     */
    void identify(URLConnection c, boolean ranged) {
        if (userAgent != null) c.setRequestProperty("User-Agent", userAgent);
        c.setRequestProperty("Accept-Encoding", ranged ? "identity" : "gzip");
    }

    /** A connection for a request of the host's own (the start page's check, robots.txt). */
    HttpURLConnection open(URL u) throws IOException {
        URLConnection c = u.openConnection();
        if (!(c instanceof HttpURLConnection)) throw new IOException("not an HTTP URL: " + u);
        configure(c);
        c.setRequestProperty("User-Agent", agent());
        c.setRequestProperty("Accept-Encoding", "identity");
        return (HttpURLConnection) c;
    }

    /** Trusts every certificate: --no-check-certificate. */
    private static final class TrustAll {
        static final SSLSocketFactory FACTORY = make();

        private static SSLSocketFactory make() {
            try {
                SSLContext ctx = SSLContext.getInstance("TLS");
                ctx.init(null, new TrustManager[] {new X509TrustManager() {
                    public void checkClientTrusted(X509Certificate[] chain, String type) {}

                    public void checkServerTrusted(X509Certificate[] chain, String type) {}

                    public X509Certificate[] getAcceptedIssuers() {
                        return new X509Certificate[0];
                    }
                }}, new SecureRandom());
                return ctx.getSocketFactory();
            } catch (java.security.GeneralSecurityException e) {
                throw new IllegalStateException(e);
            }
        }
    }
}
