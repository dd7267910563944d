/** The cause of a failure as the log says it: the exception's kind and its message. */
final class Causes {
    private Causes() {}

    static String of(Throwable e) {
        String kind = e.getClass().getSimpleName();
        if (e instanceof javax.net.ssl.SSLException || e instanceof java.security.cert.CertificateException) {
            kind = "certificate or TLS error, " + kind;
        }
        String m = e.getMessage();
        return m == null || m.isEmpty() ? kind : kind + ": " + m;
    }
}
