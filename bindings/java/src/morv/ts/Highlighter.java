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
 * <p>The spans are read match by match and sorted here into the order of a
 * run of captures (start byte, then pattern). A run of captures holds back
 * every finished match while a match in progress holds an earlier capture;
 * in a file that error recovery has turned inside out (a declarator whose
 * value lies megabytes away) that is most of the file's matches, which made
 * one re-highlight take minutes and, past the cursor's match limit, lose
 * spans. Read by match, nothing waits. (For patterns that quantify a
 * capture, {@code +} or {@code *}, the library reports some matches
 * differently by match than by capture; highlight queries have none.)
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
        this(query, bufferSpans, 0);
    }

    /**
     * A highlighter whose query cursor keeps at most {@code matchLimit}
     * matches in progress (0: the most it can keep).
     */
    public Highlighter(Query query, int bufferSpans, int matchLimit) {
        this.query = query;
        this.buffer = new SpanBuffer(bufferSpans);
        if (matchLimit > 0) {
            cursor.setMatchLimit(matchLimit);
        }
    }

    public Query query() {
        return query;
    }

    /** Replaces the content of {@code into} by the spans of the whole tree. */
    public void highlight(Tree tree, Utf16Text text, SpanList into) {
        into.clear();
        exceeded = false;
        runRange(tree.root(), text, 0, 0, into);
    }

    /** Appends the spans that overlap {@code [startByte, endByte)} (an end of 0: no limit) to {@code into}. */
    public void run(Tree tree, Utf16Text text, int startByte, int endByte, SpanList into) {
        exceeded = false;
        runRange(tree.root(), text, startByte, endByte, into);
    }

    private void runRange(Node root, Utf16Text text, int startByte, int endByte, SpanList into) {
        int mark = into.size();
        cursor.setByteRange(startByte, endByte);
        cursor.execText(query, root, text);
        while (cursor.nextMatchSpans(buffer) > 0) {
            into.addAll(buffer);
        }
        into.sortFrom(mark);
        exceeded |= cursor.didExceedMatchLimit();
    }

    /**
     * Brings {@code spans}, the spans of {@code oldTree}'s text, up to date
     * with {@code newTree}, parsed from {@code text} after {@code edit} with
     * the edited {@code oldTree}. Re-runs the query over each changed range
     * and the edited range, widened: a capture may depend on an ancestor or a
     * sibling of the node that changed (a method name stops being one when
     * its call changes), and those lie outside the changed ranges. So each
     * range grows to the parent of the smallest node that spans it (unless
     * that is larger than {@link #WIDEST} bytes, which would re-query much of
     * the file for one keystroke), and then to every node that straddles one
     * of its ends.
     */
    public void update(Tree oldTree, Tree newTree, InputEdit edit, Utf16Text text, SpanList spans) {
        exceeded = false;
        spans.applyEdit(edit);
        List<Range> changed = newTree.changedRanges(oldTree);
        int editFrom = Math.max(0, edit.startByte() - 2);
        int editTo = Math.min(text.byteLength(), edit.newEndByte() + 2);
        // The edited range joins the changed ranges in document order; overlapping ones merge.
        int count = 0;
        boolean editDone = false;
        for (int i = 0; i <= changed.size(); i++) {
            int from;
            int to;
            if (!editDone && (i == changed.size() || changed.get(i).startByte() > editFrom)) {
                from = editFrom;
                to = editTo;
                editDone = true;
                i--;
            } else if (i < changed.size()) {
                from = changed.get(i).startByte();
                to = changed.get(i).endByte();
            } else {
                break;
            }
            if (count > 0 && from <= pending[2 * count - 1]) {
                pending[2 * count - 1] = Math.max(pending[2 * count - 1], to);
            } else {
                if (2 * count + 2 > pending.length) {
                    pending = java.util.Arrays.copyOf(pending, 2 * pending.length);
                }
                pending[2 * count] = from;
                pending[2 * count + 1] = to;
                count++;
            }
        }
        Node root = newTree.root();
        lastStart = Integer.MAX_VALUE;
        lastEnd = 0;
        int doneTo = -1;
        for (int k = 0; k < count; k++) {
            int from = pending[2 * k];
            int to = pending[2 * k + 1];
            Node around = root.descendantForByteRange(from, to);
            Node parent = around == null ? null : around.parent();
            if (parent != null && parent.endByte() - parent.startByte() <= WIDEST) {
                around = parent;
            }
            if (around != null && around.endByte() - around.startByte() <= WIDEST) {
                from = Math.min(from, around.startByte());
                to = Math.max(to, around.endByte());
            }
            // Nodes that straddle an end of the range: their other part may
            // hold captures whose match changed.
            int straddleFrom = from;
            for (Node n = root.descendantForByteRange(from, from); n != null && n.endByte() <= to; n = n.parent()) {
                straddleFrom = Math.min(straddleFrom, n.startByte());
            }
            int straddleTo = to;
            for (Node n = root.descendantForByteRange(Math.max(from, to - 1), Math.max(from, to - 1));
                    n != null && n.startByte() >= from; n = n.parent()) {
                straddleTo = Math.max(straddleTo, n.endByte());
            }
            // One code unit more on either side: a missing token (an empty
            // node) at an end of the range belongs to it as the cursor sees
            // it only when no node around it ends there; inside, it does.
            from = Math.max(0, straddleFrom - 2);
            to = straddleTo + 2;
            from = Math.max(from, doneTo);
            if (from >= to) {
                continue;
            }
            fresh.clear();
            runRange(root, text, from, to, fresh);
            spans.replace(from, to, fresh);
            doneTo = to;
            lastStart = Math.min(lastStart, from);
            lastEnd = Math.max(lastEnd, to);
        }
    }

    /** The widest node, in bytes, whose extent {@link #update} re-queries around a change. */
    public static final int WIDEST = 1 << 16;

    private int[] pending = new int[16];

    /** The first and last byte that the last {@link #update} re-queried. */
    public int lastStart() {
        return lastStart;
    }

    public int lastEnd() {
        return lastEnd;
    }

    /**
     * Whether a run of the last {@link #highlight}, {@link #run} or
     * {@link #update} dropped matches because of the cursor's match limit
     * (only a query that forks into that many matches in progress does).
     */
    public boolean didExceedMatchLimit() {
        return exceeded;
    }

    private boolean exceeded;

    /** Deletes the query cursor; a second close does nothing. */
    @Override
    public void close() {
        cursor.close();
    }
}
