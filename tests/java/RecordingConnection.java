import java.net.URL;
import java.net.URLConnection;
import java.util.ArrayList;
import java.util.List;

/** A connection that records the request headers set on it, in order. */
class RecordingConnection extends URLConnection {
    /** "Name: value" per setRequestProperty call. */
    final List<String> headers = new ArrayList<>();

    RecordingConnection(URL url) {
        super(url);
    }

    @Override
    public void connect() {
        connected = true;
    }

    @Override
    public void setRequestProperty(String key, String value) {
        headers.add(key + ": " + value);
    }

    List<String> names() {
        List<String> n = new ArrayList<>();
        for (String h : headers) n.add(h.substring(0, h.indexOf(':')));
        return n;
    }

    /** The value of the one header of that name; fails when there is not exactly one. */
    String value(String name) {
        String found = null;
        for (String h : headers) {
            if (h.startsWith(name + ": ")) {
                if (found != null) throw new AssertionError("header set twice: " + name + " in " + headers);
                found = h.substring(name.length() + 2);
            }
        }
        if (found == null) throw new AssertionError("no " + name + " in " + headers);
        return found;
    }
}
