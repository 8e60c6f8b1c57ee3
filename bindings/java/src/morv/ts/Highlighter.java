package morv.ts;

import java.util.List;

/**
 * Keeps a document's highlight spans current on the Java side: a full run
 * with {@link #highlight}, then per keystroke {@link #update}, which re-runs
 * the query over the ranges that the re-parse changed and the edited range
 * only. Captures come over in bulk through one reusable native buffer, with
 * the query's text predicates applied by the library, so a steady state
 * allocates nothing per span.
 *
 * <p>The caller owns the highlighter and closes it (that deletes its query
 * cursor); the query stays the caller's. One thread at a time.
 */
public final class Highlighter implements AutoCloseable {
    private final Query query;
    private final QueryCursor cursor = new QueryCursor();
    private final SpanBuffer buffer;
    private final SpanList fresh = new SpanList(1024);
    private int lastStart;
    private int lastEnd;

    /** A highlighter of {@code query}'s captures, reading {@code bufferSpans} captures per native call. */
    public Highlighter(Query query, int bufferSpans) {
        this.query = query;
        this.buffer = new SpanBuffer(bufferSpans);
    }

    public Query query() {
        return query;
    }

    /** Replaces the content of {@code into} by the spans of the whole tree. */
    public void highlight(Tree tree, Utf16Text text, SpanList into) {
        into.clear();
        run(tree, text, 0, 0, into);
    }

    /** Appends the spans that overlap {@code [startByte, endByte)} (an end of 0: no limit) to {@code into}. */
    public void run(Tree tree, Utf16Text text, int startByte, int endByte, SpanList into) {
        cursor.setByteRange(startByte, endByte);
        cursor.execText(query, tree.root(), text);
        into.addRun(cursor, buffer);
    }

    /**
     * Brings {@code spans}, the spans of {@code oldTree}'s text, up to date
     * with {@code newTree}, parsed from {@code text} after {@code edit} with
     * the edited {@code oldTree}. Re-runs the query over the changed ranges
     * and the edited range, widened to the parent of the smallest node that
     * spans them all: a capture may depend on an ancestor or a sibling of the
     * node that changed (a method name stops being one when its call
     * changes), and those lie outside the changed ranges.
     */
    public void update(Tree oldTree, Tree newTree, InputEdit edit, Utf16Text text, SpanList spans) {
        int from = Math.max(0, edit.startByte() - 2);
        int to = Math.min(text.byteLength(), edit.newEndByte() + 2);
        List<Range> changed = newTree.changedRanges(oldTree);
        for (int i = 0; i < changed.size(); i++) {
            from = Math.min(from, changed.get(i).startByte());
            to = Math.max(to, changed.get(i).endByte());
        }
        Node around = newTree.root().descendantForByteRange(from, to);
        Node parent = around == null ? null : around.parent();
        if (parent != null) {
            around = parent;
        }
        if (around != null) {
            from = Math.min(from, around.startByte());
            to = Math.max(to, around.endByte());
        }
        spans.applyEdit(edit);
        fresh.clear();
        run(newTree, text, from, to, fresh);
        spans.replace(from, to, fresh);
        lastStart = from;
        lastEnd = to;
    }

    /** The byte range that the last {@link #update} re-queried. */
    public int lastStart() {
        return lastStart;
    }

    public int lastEnd() {
        return lastEnd;
    }

    /** Whether the last run dropped matches because of the cursor's match limit. */
    public boolean didExceedMatchLimit() {
        return cursor.didExceedMatchLimit();
    }

    /** Deletes the query cursor; a second close does nothing. */
    @Override
    public void close() {
        cursor.close();
    }
}
