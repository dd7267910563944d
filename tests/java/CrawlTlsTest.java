import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.File;
import java.io.FileInputStream;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.InetAddress;
import java.net.Socket;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.security.KeyStore;
import java.util.concurrent.TimeUnit;
import javax.net.ssl.KeyManagerFactory;
import javax.net.ssl.SSLContext;
import javax.net.ssl.SSLServerSocket;

import org.junit.jupiter.api.Test;

/** A site behind a self-signed certificate: refused by name, accepted with --no-check-certificate. */
class CrawlTlsTest {
    @Test
    void aSelfSignedCertificateIsNamedAsTheCauseAndCanBeAccepted() throws Exception {
        File work = Jvm.tempDir("tls");
        File store = new File(work, "server.p12");
        String keytool = System.getProperty("java.home") + "/bin/keytool";
        Process p = new ProcessBuilder(keytool, "-genkeypair", "-keystore", store.getPath(), "-storetype", "PKCS12",
                "-storepass", "secret1", "-keypass", "secret1", "-alias", "site", "-keyalg", "RSA", "-keysize", "2048",
                "-dname", "CN=localhost", "-validity", "2").redirectErrorStream(true).start();
        p.getInputStream().transferTo(OutputStream.nullOutputStream());
        assertTrue(p.waitFor(60, TimeUnit.SECONDS) && p.exitValue() == 0, "keytool made no key");

        KeyStore ks = KeyStore.getInstance("PKCS12");
        try (FileInputStream in = new FileInputStream(store)) {
            ks.load(in, "secret1".toCharArray());
        }
        KeyManagerFactory kmf = KeyManagerFactory.getInstance(KeyManagerFactory.getDefaultAlgorithm());
        kmf.init(ks, "secret1".toCharArray());
        SSLContext ctx = SSLContext.getInstance("TLS");
        ctx.init(kmf.getKeyManagers(), null, null);
        byte[] page = "<html>over TLS</html>".getBytes(StandardCharsets.UTF_8);
        try (SSLServerSocket server = (SSLServerSocket) ctx.getServerSocketFactory().createServerSocket(0, 50,
                InetAddress.getByName("127.0.0.1"))) {
            Thread t = new Thread(() -> {
                while (!server.isClosed()) {
                    try (Socket s = server.accept()) {
                        s.setSoTimeout(5_000);
                        InputStream in = s.getInputStream();
                        StringBuilder head = new StringBuilder();
                        for (int c; !head.toString().endsWith("\r\n\r\n") && (c = in.read()) >= 0; ) head.append((char) c);
                        boolean index = head.toString().startsWith("GET / ") || head.toString().startsWith("HEAD / ");
                        s.getOutputStream().write(index ? ScriptedServer.answer("200 OK", page, "Content-Type: text/html")
                                : ScriptedServer.answer("404 Not Found", new byte[0]));
                    } catch (Exception e) {
                        // a refused handshake, or closed
                    }
                }
            }, "tls-site");
            t.setDaemon(true);
            t.start();
            String url = "https://127.0.0.1:" + server.getLocalPort() + "/";

            File out = new File(work, "copy");
            Jvm.Result refused = MirrorRuns.mirror(url, out.getPath());
            assertEquals(2, refused.exit, refused.out);
            assertTrue(refused.out.contains("errors:             1 (1 certificate)"), refused.out);
            assertTrue(refused.out.contains("The start page could not be saved: certificate error"
                    + " (--no-check-certificate accepts it), SSLHandshakeException: "), refused.out);

            Jvm.Result accepted = MirrorRuns.mirror(url, out.getPath(), "--no-check-certificate");
            assertEquals(0, accepted.exit, accepted.out);
            assertEquals("<html>over TLS</html>", Files.readString(
                    new File(out, "127.0.0.1 " + server.getLocalPort() + "/x7fenwix.htm").toPath()));
        }
    }
}
