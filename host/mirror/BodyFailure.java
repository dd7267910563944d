import java.io.IOException;

/** A body the run itself breaks off: too large, too slow, the disk nearly full, an encoding it cannot read. */
final class BodyFailure extends IOException {
    static final String TOO_LARGE = "too large";
    static final String TOO_SLOW = "too slow";
    static final String DISK = "disk nearly full";
    static final String ENCODING = "encoding";

    final String kind;

    BodyFailure(String kind, String message) {
        super(message);
        this.kind = kind;
    }

    @Override
    public synchronized Throwable fillInStackTrace() {
        return this;  // an outcome, not a fault: no trace to keep
    }
}
