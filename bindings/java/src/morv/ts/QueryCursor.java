package morv.ts;

import java.lang.ref.Reference;
import java.nio.ByteBuffer;
import java.util.IdentityHashMap;
import java.util.Map;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

/**
 * Runs a {@link Query} over a node and hands out its captures one at a time,
 * in document order. After {@link #nextCapture} returns true, the accessors
 * describe the current capture; they read the cursor's native records in
 * place and allocate nothing (except {@link #node}).
 *
 * <p>A run holds its query and the node's tree, so neither is collected while
 * the run goes on; closing either of them ends the run (the next call throws
 * {@link IllegalStateException}). The caller owns the cursor and closes it; a
 * cursor nobody closed is deleted once it becomes unreachable. A cursor is
 * used by one thread at a time.
 */
public final class QueryCursor implements AutoCloseable {
    private static final int INDEX = Bridge.MATCH_SIZE;

    private final NativeHandle handle;
    // The match record at 0..15, the capture index at 16..19.
    private final Scratch record = new Scratch(Bridge.MATCH_SIZE + 8);
    private final Peek peek = new Peek();
    private final Captures captures = new Captures();
    private Query query;
    private Tree tree;
    private CharSequence text;
    private long capture;           // address of the current capture record
    private long skipped;
    // The bulk run's text, held (with the buffer the library reads) while the run goes on.
    private Utf16Text runText;
    private ByteBuffer runBuffer;
    private long runVersion;
    private boolean bulk;           // the run was started by execText
    private boolean single;         // nextCapture was called in this run
    private boolean spans;          // nextSpans was called in this run
    private boolean matchSpans;     // nextMatchSpans was called in this run

    public QueryCursor() {
        long pointer = Bridge.morv_cursor_create();
        if (pointer == 0) {
            throw new OutOfMemoryError("morv_cursor_create");
        }
        handle = new NativeHandle(this, pointer, Bridge::morv_cursor_delete, "query cursor");
    }

    /**
     * Limits the captures of the following runs to {@code [startByte, endByte)};
     * an end of 0 means no upper limit. Returns false, keeping the earlier
     * range, when the start lies after the end.
     */
    public boolean setByteRange(int startByte, int endByte) {
        boolean result = Bridge.morv_cursor_set_byte_range(handle.get(), startByte, endByte) != 0;
        Reference.reachabilityFence(this);
        return result;
    }

    /** Starts a run of {@code query} over {@code node}; the text predicates are not applied. */
    public void exec(Query query, Node node) {
        exec(query, node, null);
    }

    /**
     * Starts a run of {@code query} over {@code node}, abandoning the earlier
     * run. With {@code text} (the document the node's tree was parsed from,
     * unchanged while the run goes on), every capture of a match whose text
     * predicates fail is left out. The library may hand out a capture of a
     * match before the match has reached the nodes its predicates test (when
     * the rest of the pattern is certain to match); such a capture is judged
     * on the nodes the match holds at that point. The captures that the
     * predicates name are always judged on the complete match.
     */
    public void exec(Query query, Node node, CharSequence text) {
        long cursor = handle.get();
        long q = query.pointer();
        long n = node.tree().load(node);
        this.query = null;
        this.tree = null;
        Bridge.morv_cursor_exec(cursor, q, n);
        Reference.reachabilityFence(this);
        Reference.reachabilityFence(node);
        this.query = query;
        this.tree = node.tree();
        this.text = text;
        this.captures.matchers.clear();
        this.capture = 0;
        this.skipped = 0;
        startRun(null, false);
    }

    private void startRun(Utf16Text text, boolean bulk) {
        this.runText = text;
        this.runBuffer = text == null ? null : text.buffer();
        this.runVersion = text == null ? 0 : text.version();
        this.bulk = bulk;
        this.single = false;
        this.spans = false;
        this.matchSpans = false;
    }

    /**
     * Limits the matches that the following runs keep in progress at one
     * time: when a new match finds no room, the one that started earliest is
     * dropped, and {@link #didExceedMatchLimit} tells. 0 means no limit. Set
     * it on a new cursor, before its first run: the slots that earlier runs
     * made stay in use whatever the limit.
     */
    public void setMatchLimit(int limit) {
        Bridge.morv_cursor_set_match_limit(handle.get(), limit);
        Reference.reachabilityFence(this);
    }

    /** Whether the last run dropped matches because of the match limit. */
    public boolean didExceedMatchLimit() {
        boolean result = Bridge.morv_cursor_did_exceed_match_limit(handle.get()) != 0;
        Reference.reachabilityFence(this);
        return result;
    }

    /**
     * Starts a run of {@code query} over {@code node} for {@link #nextSpans},
     * abandoning the earlier run; the library evaluates the query's text
     * predicates on {@code text} (the document the node's tree was parsed
     * from) and leaves out every capture of a match whose predicates fail.
     * The run holds the query, the tree and the text; the text must not
     * change while the run goes on ({@link #nextSpans} then throws).
     */
    public void execText(Query query, Node node, Utf16Text text) {
        long cursor = handle.get();
        long q = query.pointer();
        long n = node.tree().load(node);
        this.query = null;
        this.tree = null;
        Bridge.morv_cursor_exec_text(cursor, q, n, text.address(), text.byteLength());
        Reference.reachabilityFence(this);
        Reference.reachabilityFence(node);
        Reference.reachabilityFence(query);
        this.query = query;
        this.tree = node.tree();
        this.text = null;
        this.capture = 0;
        this.skipped = 0;
        startRun(text, true);
    }

    /**
     * Writes the run's next captures into {@code into} (as many as fit) in the
     * order of {@link #nextCapture}, and returns their number; 0 when the run
     * is over. A run started by {@link #execText} leaves out the captures of
     * matches whose text predicates fail; one started by
     * {@link #exec(Query, Node)} hands out every capture.
     *
     * @throws IllegalStateException when the cursor, the run's query or tree
     *     is closed, the run's text changed, the run was started with a Java
     *     text, or {@link #nextCapture} was used in this run
     */
    public int nextSpans(SpanBuffer into) {
        long cursor = handle.get();
        if (query == null) {
            into.filled(0);
            return 0;
        }
        if (text != null || single || matchSpans) {
            throw new IllegalStateException(matchSpans ? "a run of nextMatchSpans cannot hand out captures in order"
                    : "a run of nextCapture cannot hand out spans");
        }
        spans = true;
        return fill(cursor, into, false);
    }

    /**
     * Writes the captures of the run's next matches into {@code into} (as
     * many as fit; a match may continue in the next call), the matches in the
     * order the library finishes them, and returns their number; 0 when the
     * run is over. Predicates filter as in {@link #nextSpans}.
     *
     * <p>Matches come out as soon as they are complete, so the captures are
     * not in document order, but no finished match waits behind one still in
     * progress: see {@link Highlighter}, which sorts them.
     *
     * @throws IllegalStateException as {@link #nextSpans} does, and when
     *     {@link #nextSpans} was used in this run
     */
    public int nextMatchSpans(SpanBuffer into) {
        long cursor = handle.get();
        if (query == null) {
            into.filled(0);
            return 0;
        }
        if (text != null || single || spans) {
            throw new IllegalStateException(spans ? "a run of nextSpans cannot hand out matches"
                    : "a run of nextCapture cannot hand out spans");
        }
        matchSpans = true;
        return fill(cursor, into, true);
    }

    private int fill(long cursor, SpanBuffer into, boolean byMatch) {
        query.pointer();
        tree.pointer();
        if (runText != null && runText.version() != runVersion) {
            throw new IllegalStateException("the text changed during the run");
        }
        int count = byMatch
                ? Bridge.morv_cursor_next_match_captures(cursor, into.address(), into.capacity())
                : Bridge.morv_cursor_next_captures(cursor, into.address(), into.capacity());
        Reference.reachabilityFence(runBuffer);
        Reference.reachabilityFence(into);
        Reference.reachabilityFence(this);
        into.filled(count);
        return count;
    }

    /**
     * Advances to the next capture; false when the run has none left (or
     * there is no run).
     *
     * @throws IllegalStateException when the cursor, the run's query or its tree is closed
     */
    public boolean nextCapture() {
        long cursor = handle.get();
        if (query == null) {
            return false;
        }
        if (bulk || spans || matchSpans) {
            throw new IllegalStateException("a run of nextSpans cannot hand out single captures");
        }
        single = true;
        query.pointer();
        tree.pointer();
        ByteBuffer b = record.buffer;
        while (true) {
            boolean found = Bridge.morv_cursor_next_capture(cursor, record.address, record.address + INDEX) != 0;
            Reference.reachabilityFence(this);
            if (!found) {
                capture = 0;
                return false;
            }
            capture = b.getLong(8) + (long) b.getInt(INDEX) * Bridge.CAPTURE_SIZE;
            if (text == null || passes()) {
                return true;
            }
            skipped++;
        }
    }

    /*
     * Judged anew for every capture: the library hands out a capture of a
     * match whose later steps are certain before the match is complete, so
     * the match's capture array can grow between two of its captures. The
     * steps that capture nodes used in predicates are never certain, so those
     * nodes are all present whenever one of them is handed out.
     */
    private boolean passes() {
        for (TextPredicate p : query.textPredicates[patternIndex()]) {
            if (!p.test(captures)) {
                return false;
            }
        }
        return true;
    }

    private long current() {
        if (capture == 0) {
            throw new IllegalStateException("no current capture");
        }
        tree.pointer();
        return capture;
    }

    /** The number of captures of the current run left out because their match's predicates failed. */
    public long skippedCaptures() {
        return skipped;
    }

    /** The capture id (an index into the query's capture names) of the current capture. */
    public int captureId() {
        return peek.at(current()).getInt(Bridge.NODE_SIZE);
    }

    public int patternIndex() {
        return record.buffer.getShort(4) & 0xffff;
    }

    /** The id of the current capture's match within this run. */
    public int matchId() {
        return record.buffer.getInt(0);
    }

    /** The number of captures of the current match. */
    public int captureCount() {
        return record.buffer.getShort(6) & 0xffff;
    }

    /** The position of the current capture among its match's captures. */
    public int captureIndex() {
        return record.buffer.getInt(INDEX);
    }

    public int startByte() {
        int result = Bridge.morv_node_start_byte(current());
        Reference.reachabilityFence(tree);
        return result;
    }

    public int endByte() {
        int result = Bridge.morv_node_end_byte(current());
        Reference.reachabilityFence(tree);
        return result;
    }

    /** The current capture's node, as a value that outlives the cursor's records. */
    public Node node() {
        return tree.readNode(peek, current());
    }

    /** The node of the current match's capture {@code i}. */
    public Node node(int i) {
        return tree.readNode(peek, matchCapture(i));
    }

    /** The capture id of the current match's capture {@code i}. */
    public int captureId(int i) {
        return peek.at(matchCapture(i)).getInt(Bridge.NODE_SIZE);
    }

    private long matchCapture(int i) {
        current();
        if (i < 0 || i >= captureCount()) {
            throw new IndexOutOfBoundsException(i);
        }
        return record.buffer.getLong(8) + (long) i * Bridge.CAPTURE_SIZE;
    }

    /** Deletes the cursor; a second close does nothing, any other use then throws. */
    @Override
    public void close() {
        handle.close();
        query = null;
        tree = null;
        text = null;
        captures.matchers.clear();
        startRun(null, false);
    }

    /** The current match as the text predicates see it. */
    private final class Captures implements TextPredicate.MatchText {
        // One matcher per regular expression over the run's text.
        final Map<Pattern, Matcher> matchers = new IdentityHashMap<>();

        private long address(int i) {
            return record.buffer.getLong(8) + (long) i * Bridge.CAPTURE_SIZE;
        }

        @Override
        public int count() {
            return captureCount();
        }

        @Override
        public int captureId(int i) {
            return peek.at(address(i)).getInt(Bridge.NODE_SIZE);
        }

        private int start(int i) {
            return Math.min(Bridge.morv_node_start_byte(address(i)) / 2, text.length());
        }

        private int end(int i) {
            return Math.min(Bridge.morv_node_end_byte(address(i)) / 2, text.length());
        }

        @Override
        public String text(int i) {
            int end = end(i);
            return text.subSequence(Math.min(start(i), end), end).toString();
        }

        @Override
        public boolean textEquals(int i, String s) {
            int start = start(i);
            int end = end(i);
            return end - start == s.length() && regionEquals(start, s, 0, s.length());
        }

        @Override
        public boolean sameText(int i, int j) {
            int start = start(i);
            int end = end(i);
            int other = start(j);
            if (end(j) - other != end - start) {
                return false;
            }
            for (int k = 0; k < end - start; k++) {
                if (text.charAt(start + k) != text.charAt(other + k)) {
                    return false;
                }
            }
            return true;
        }

        private boolean regionEquals(int start, String s, int from, int length) {
            for (int k = 0; k < length; k++) {
                if (text.charAt(start + k) != s.charAt(from + k)) {
                    return false;
                }
            }
            return true;
        }

        @Override
        public boolean find(int i, Pattern regex) {
            int end = end(i);
            Matcher matcher = matchers.computeIfAbsent(regex, r -> r.matcher(text));
            return TextPredicate.find(matcher, Math.min(start(i), end), end);
        }
    }
}
