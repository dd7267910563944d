package com.tolvak.fenwix;

import java.net.URL;
import java.util.ArrayList;
import java.util.List;

/**
 * One URL of the crawl: where it came from, where its body is saved, what the
 * server answered and how its transfer ended. The natives read and report
 * through the members below by name.
 */
public class NodeURL {
    /** Bytes written by the last transfer of this node. */
    public int readLength;

    private final int level;
    private final int parentIndex;
    private final String linkText;
    private volatile URL url;
    private volatile String loadedFilename;
    private volatile int responseCode;
    private volatile long lastModified;
    private volatile int maxLevel = Integer.MAX_VALUE;
    private volatile boolean html;
    /** Whether the page that named this URL was a saved copy; null when not known. */
    private volatile Boolean fromSavedPage;

    private volatile boolean downloaded, previouslyDownloaded, notFound, createError, readWriteError, stopped;
    /**
     * The state calls received, 4 bits each, oldest lowest: a crawl keeps a
     * node per URL, and a list per node cost more than the rest of the node.
     * Past 16 calls the oldest are shifted out.
     */
    private long stateCalls;
    private static final String[] STATE_CALLS = {null, "setDownloaded", "setPreviouslyDownloaded", "setNotFound",
            "setCreateError", "setReadWriteError", "setStopped"};

    public NodeURL(int level, int parentIndex, URL url, String linkText) {
        this.level = level;
        this.parentIndex = parentIndex;
        this.url = url;
        this.linkText = linkText;
    }

    public int getLevel() { return level; }
    public int getParentIndex() { return parentIndex; }
    /** The link text this node was discovered under (null for a start URL). */
    public String getString() { return linkText; }

    public URL getURL() { return url; }
    public void setURL(URL url) { this.url = url; }

    public String getLoadedFilename() { return loadedFilename; }
    public void setLoadedFilename(String name) { this.loadedFilename = name; }

    public int getResponseCode() { return responseCode; }
    public void setResponseCode(int code) { this.responseCode = code; }

    /** Server time of the body in milliseconds, 0 when the server gave none. */
    public long getLastModified() { return lastModified; }
    public void setLastModified(long t) { this.lastModified = t; }

    public void setMaxLevel(int maxLevel) { this.maxLevel = maxLevel; }
    public boolean isPastMaxLevel() { return level > maxLevel; }

    /**
     * Whether this URL was found in a page that an earlier run saved (and may
     * have rewritten to local paths); null when the crawl did not note it.
     */
    public Boolean isFromSavedPage() { return fromSavedPage; }
    public void setFromSavedPage(boolean saved) { this.fromSavedPage = saved; }

    private volatile String charset;

    /** The charset the page is read in, as the server or the page names it; null until known. */
    public String getCharset() { return charset; }
    public void setCharset(String charset) { this.charset = charset; }

    private volatile boolean css;

    /** Whether the body is a stylesheet, whose url() and @import are followed. */
    public boolean isCss() { return css; }

    private volatile boolean script;

    /** Whether the body is a script, whose quoted file names are requisites of its pages. */
    public boolean isScript() { return script; }
    public void setScript(boolean script) { this.script = script; }
    public void setCss(boolean css) { this.css = css; }

    public void setHtml(boolean html) { this.html = html; }
    public boolean isHtml() { return html; }

    /** Whether the body is to be transferred: a success answer and no current copy. */
    public boolean downloadThisURL() {
        return !previouslyDownloaded && !notFound && responseCode >= 200 && responseCode < 300;
    }

    /** Whether the saved page is to be scanned for links. */
    public boolean processHTML() { return html && isLoaded(); }

    /** Whether a complete local copy exists. */
    public boolean isLoaded() {
        return previouslyDownloaded || (downloaded && !readWriteError && !stopped && !createError);
    }

    public boolean isPreviouslyDownloaded() { return previouslyDownloaded; }
    public boolean isNotFound() { return notFound; }
    public boolean isStopped() { return stopped; }
    public boolean hasError() { return createError || readWriteError; }

    public void setDownloaded() { downloaded = true; called(1); }
    public void setPreviouslyDownloaded() { previouslyDownloaded = true; called(2); }
    public void setNotFound() { notFound = true; called(3); }
    public void setCreateError() { createError = true; called(4); }
    public void setReadWriteError() { readWriteError = true; called(5); }
    public void setStopped() { stopped = true; called(6); }

    private synchronized void called(int code) {
        long c = stateCalls;
        if ((c >>> 60) != 0) c >>>= 4;  // full: the oldest goes
        int n = 0;
        while (n < 16 && (c >>> (4 * n) & 0xf) != 0) n++;
        stateCalls = c | (long) code << (4 * n);
    }

    /** The state calls this node received, in order (the last 16). */
    public synchronized List<String> stateCalls() {
        List<String> calls = new ArrayList<>();
        for (long c = stateCalls; c != 0; c >>>= 4) calls.add(STATE_CALLS[(int) (c & 0xf)]);
        return calls;
    }

    /** Forgets the outcome of an earlier attempt before the node is fetched again. */
    public void resetOutcome() {
        downloaded = previouslyDownloaded = notFound = createError = readWriteError = stopped = false;
        readLength = 0;
    }

    @Override
    public String toString() { return String.valueOf(url); }
}
