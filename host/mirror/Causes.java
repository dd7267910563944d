import java.net.ConnectException;
import java.net.NoRouteToHostException;
import java.net.SocketException;
import java.net.SocketTimeoutException;
import java.net.UnknownHostException;
import java.security.cert.CertificateException;
import javax.net.ssl.SSLException;
import javax.net.ssl.SSLHandshakeException;
import javax.net.ssl.SSLPeerUnverifiedException;

/** The cause of a failure as the log says it: the exception's kind and its message. */
final class Causes {
    private Causes() {}

    static String of(Throwable e) {
        // the run's own reasons say it all
        if (e instanceof BodyFailure) return e.getMessage();
        String kind = e.getClass().getSimpleName();
        if (isCertificate(e)) {
            kind = "certificate error (--no-check-certificate accepts it), " + kind;
        } else if (e instanceof SSLException) {
            kind = "TLS error, " + kind;
        }
        String m = e.getMessage();
        return m == null || m.isEmpty() ? kind : kind + ": " + m;
    }

    /**
     * Why a file could not be made or written, as far as the file system
     * tells (the native transfer that failed names no cause); null when it
     * tells nothing.
     */
    static String ofFile(java.io.File f) {
        if (f.isDirectory()) return "a folder has its name";
        java.io.File parent = f.getAbsoluteFile().getParentFile();
        java.io.File existing = parent;
        while (existing != null && !existing.exists()) existing = existing.getParentFile();
        if (existing != null && existing.isFile()) return "a file stands where its folder must be: " + existing;
        if (existing != null && !existing.canWrite()) return "the folder " + existing + " is not writable";
        if (existing != null && existing.getUsableSpace() == 0 && existing.getTotalSpace() > 0) return "the disk is full";
        if (f.exists() && !f.canWrite()) return "the file is not writable";
        return null;
    }

    /** The kind a failure is counted under in the summary. */
    static String kind(Throwable e) {
        if (e instanceof BodyFailure) return ((BodyFailure) e).kind;
        if (e instanceof SocketTimeoutException) return "timeout";
        if (isCertificate(e)) return "certificate";
        if (e instanceof SSLException) return "TLS";
        if (e instanceof UnknownHostException) return "unknown host";
        if (e instanceof ConnectException || e instanceof NoRouteToHostException) return "connection refused";
        if (e instanceof SocketException || e instanceof java.io.EOFException) return "connection broken";
        String m = String.valueOf(e.getMessage());
        if (m.startsWith("connection closed after")) return "connection broken";
        return "other";
    }

    /** Whether the server's certificate was refused. */
    static boolean isCertificate(Throwable e) {
        for (Throwable t = e; t != null; t = t.getCause()) {
            if (t instanceof CertificateException || t instanceof SSLPeerUnverifiedException) return true;
            if (t instanceof SSLHandshakeException && String.valueOf(t.getMessage()).matches(
                    "(?is).*(certif|PKIX|No subject alternative|No name matching).*")) {
                return true;
            }
        }
        return false;
    }
}
