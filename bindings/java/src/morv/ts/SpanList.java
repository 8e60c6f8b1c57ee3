package morv.ts;

import java.util.Arrays;

/**
 * The highlight spans of a document held on the Java side: start byte, end
 * byte, capture id and pattern index in four parallel int arrays that the
 * caller reads directly ({@link #starts}, {@link #ends}, {@link #captureIds},
 * {@link #patterns}; the first {@link #size} entries count), in the order the query hands captures
 * out. Filling and updating allocate only when the arrays must grow, so a
 * steady state allocates nothing per span.
 *
 * <p>After a keystroke, an editor keeps the list current with
 * {@link #applyEdit} (shifts the spans behind the edit) and
 * {@link #replace} (swaps the spans of the re-queried range for fresh ones).
 * One thread at a time.
 */
public final class SpanList {
    private int[] starts;
    private int[] ends;
    private int[] captureIds;
    private int[] patterns;
    private int size;
    private int maxLength;  // no span is longer: bounds the scan for spans that reach into a range

    public SpanList() {
        this(64);
    }

    public SpanList(int capacity) {
        capacity = Math.max(1, capacity);
        starts = new int[capacity];
        ends = new int[capacity];
        captureIds = new int[capacity];
        patterns = new int[capacity];
    }

    public int size() {
        return size;
    }

    /** The start bytes; valid up to {@link #size}, until the next change of the list. */
    public int[] starts() {
        return starts;
    }

    public int[] ends() {
        return ends;
    }

    public int[] captureIds() {
        return captureIds;
    }

    /** The pattern indexes of the spans' matches. */
    public int[] patterns() {
        return patterns;
    }

    public void clear() {
        size = 0;
        maxLength = 0;
    }

    private void ensure(int capacity) {
        if (capacity > starts.length) {
            int grown = Math.max(capacity, starts.length + (starts.length >> 1));
            starts = Arrays.copyOf(starts, grown);
            ends = Arrays.copyOf(ends, grown);
            captureIds = Arrays.copyOf(captureIds, grown);
            patterns = Arrays.copyOf(patterns, grown);
        }
    }

    public void add(int startByte, int endByte, int captureId, int pattern) {
        ensure(size + 1);
        starts[size] = startByte;
        ends[size] = endByte;
        captureIds[size] = captureId;
        patterns[size] = pattern;
        maxLength = Math.max(maxLength, endByte - startByte);
        size++;
    }

    /** Appends the spans of the buffer's last fill. */
    public void addAll(SpanBuffer spans) {
        int n = spans.size();
        ensure(size + n);
        for (int i = 0; i < n; i++) {
            starts[size + i] = spans.startByte(i);
            ends[size + i] = spans.endByte(i);
            captureIds[size + i] = spans.captureId(i);
            patterns[size + i] = spans.patternIndex(i);
            maxLength = Math.max(maxLength, ends[size + i] - starts[size + i]);
        }
        size += n;
    }

    /**
     * Sorts the spans from index {@code from} on by start byte, then pattern
     * index, keeping the order of spans where both are equal: the order in
     * which a run of captures hands them out, made from spans read match by
     * match ({@link QueryCursor#nextMatchSpans}). A merge sort through the
     * list's scratch arrays; a run already in order costs one pass.
     */
    public void sortFrom(int from) {
        from = Math.max(0, from);
        int i = from + 1;
        while (i < size && !before(starts, patterns, i, i - 1)) {
            i++;
        }
        if (i >= size) {
            return;
        }
        final int block = 32;
        for (int lo = from; lo < size; lo += block) {
            insertionSort(lo, Math.min(lo + block, size));
        }
        int[] s = starts, e = ends, c = captureIds, p = patterns;
        int[] ts = scratch(0, size), te = scratch(1, size), tc = scratch(2, size), tp = scratch(3, size);
        for (int width = block; width < size - from; width *= 2) {
            for (int lo = from; lo < size; lo += 2 * width) {
                int mid = Math.min(lo + width, size);
                int hi = Math.min(lo + 2 * width, size);
                int a = lo;
                int b = mid;
                for (int out = lo; out < hi; out++) {
                    int k = a < mid && (b >= hi || !before(s, p, b, a)) ? a++ : b++;
                    ts[out] = s[k];
                    te[out] = e[k];
                    tc[out] = c[k];
                    tp[out] = p[k];
                }
            }
            int[] x;
            x = s; s = ts; ts = x;
            x = e; e = te; te = x;
            x = c; c = tc; tc = x;
            x = p; p = tp; tp = x;
        }
        if (s != starts) {
            System.arraycopy(s, from, starts, from, size - from);
            System.arraycopy(e, from, ends, from, size - from);
            System.arraycopy(c, from, captureIds, from, size - from);
            System.arraycopy(p, from, patterns, from, size - from);
        }
    }

    private static boolean before(int[] starts, int[] patterns, int a, int b) {
        return starts[a] < starts[b] || (starts[a] == starts[b] && patterns[a] < patterns[b]);
    }

    private void insertionSort(int lo, int hi) {
        for (int i = lo + 1; i < hi; i++) {
            int s = starts[i], e = ends[i], c = captureIds[i], p = patterns[i];
            int j = i - 1;
            while (j >= lo && (starts[j] > s || (starts[j] == s && patterns[j] > p))) {
                starts[j + 1] = starts[j];
                ends[j + 1] = ends[j];
                captureIds[j + 1] = captureIds[j];
                patterns[j + 1] = patterns[j];
                j--;
            }
            starts[j + 1] = s;
            ends[j + 1] = e;
            captureIds[j + 1] = c;
            patterns[j + 1] = p;
        }
    }

    /**
     * Appends every remaining capture of the cursor's run (started with
     * {@link QueryCursor#execText} or {@link QueryCursor#exec(Query, Node)}),
     * read through {@code buffer}.
     */
    public void addRun(QueryCursor cursor, SpanBuffer buffer) {
        while (cursor.nextSpans(buffer) > 0) {
            addAll(buffer);
        }
    }

    /**
     * Moves the spans to the text after {@code edit}: offsets at or behind the
     * replaced text's end move by the change in length, offsets inside it
     * move to the edit's start. Spans in and around the edit are out of date
     * until {@link #replace} swaps them.
     */
    public void applyEdit(InputEdit edit) {
        int start = edit.startByte();
        int oldEnd = edit.oldEndByte();
        int delta = edit.newEndByte() - oldEnd;
        for (int i = 0; i < size; i++) {
            starts[i] = shift(starts[i], start, oldEnd, delta);
            ends[i] = shift(ends[i], start, oldEnd, delta);
        }
        if (delta > 0) {
            maxLength += delta;
        }
    }

    private static int shift(int offset, int start, int oldEnd, int delta) {
        return offset >= oldEnd ? offset + delta : offset > start ? start : offset;
    }

    /**
     * Replaces the spans that overlap {@code [startByte, endByte)} (those that
     * end after the start and start before the end, which a query cursor
     * limited to that byte range hands out) by the spans of {@code fresh}
     * that overlap it, keeping the list ordered by start byte, then pattern
     * index (the order of a run of captures); where both are equal, the kept
     * ones come first.
     */
    public void replace(int startByte, int endByte, SpanList fresh) {
        // The spans that may overlap start at most at endByte; those that
        // start before startByte and reach into the range are found by
        // scanning back from the first span at or after startByte.
        int to = lowerBound(endByte);
        int from = lowerBound(startByte);
        int firstOverlap = from;
        for (int i = from - 1; i >= 0 && starts[i] >= startByte - maxLength; i--) {
            if (ends[i] > startByte) {
                firstOverlap = i;
            }
        }
        // Kept spans of [firstOverlap, to) merged with the fresh overlapping
        // ones; the window reaches back to the first kept span that starts
        // with the earliest fresh one, so that the two are ordered by pattern.
        int incoming = 0;
        int earliest = startByte;
        for (int i = 0; i < fresh.size; i++) {
            if (fresh.ends[i] > startByte && fresh.starts[i] < endByte) {
                incoming++;
                earliest = Math.min(earliest, fresh.starts[i]);
            }
        }
        firstOverlap = Math.min(firstOverlap, lowerBound(earliest));
        int window = to - firstOverlap;
        int kept = 0;
        for (int i = firstOverlap; i < to; i++) {
            if (!(ends[i] > startByte && starts[i] < endByte)) {
                kept++;
            }
        }
        int merged = kept + incoming;
        int[] ks = scratch(0, kept);
        int[] ke = scratch(1, kept);
        int[] kc = scratch(2, kept);
        int[] kp = scratch(3, kept);
        int k = 0;
        for (int i = firstOverlap; i < to; i++) {
            if (!(ends[i] > startByte && starts[i] < endByte)) {
                ks[k] = starts[i];
                ke[k] = ends[i];
                kc[k] = captureIds[i];
                kp[k] = patterns[i];
                k++;
            }
        }
        ensure(size - window + merged);
        System.arraycopy(starts, to, starts, firstOverlap + merged, size - to);
        System.arraycopy(ends, to, ends, firstOverlap + merged, size - to);
        System.arraycopy(captureIds, to, captureIds, firstOverlap + merged, size - to);
        System.arraycopy(patterns, to, patterns, firstOverlap + merged, size - to);
        size = size - window + merged;
        int out = firstOverlap;
        int a = 0;
        int b = 0;
        while (a < kept || b < fresh.size) {
            if (b < fresh.size && !(fresh.ends[b] > startByte && fresh.starts[b] < endByte)) {
                b++;
                continue;
            }
            if (a < kept && (b >= fresh.size || ks[a] < fresh.starts[b]
                    || (ks[a] == fresh.starts[b] && kp[a] <= fresh.patterns[b]))) {
                starts[out] = ks[a];
                ends[out] = ke[a];
                captureIds[out] = kc[a];
                patterns[out] = kp[a];
                a++;
            } else {
                starts[out] = fresh.starts[b];
                ends[out] = fresh.ends[b];
                maxLength = Math.max(maxLength, fresh.ends[b] - fresh.starts[b]);
                captureIds[out] = fresh.captureIds[b];
                patterns[out] = fresh.patterns[b];
                b++;
            }
            out++;
        }
    }

    private final int[][] scratch = new int[4][16];

    private int[] scratch(int which, int length) {
        if (scratch[which].length < length) {
            scratch[which] = new int[Math.max(length, 2 * scratch[which].length)];
        }
        return scratch[which];
    }

    /** The first index whose span starts at or after {@code offset}. */
    private int lowerBound(int offset) {
        int lo = 0;
        int hi = size;
        while (lo < hi) {
            int mid = (lo + hi) >>> 1;
            if (starts[mid] < offset) {
                lo = mid + 1;
            } else {
                hi = mid;
            }
        }
        return lo;
    }

    /** Whether the two lists hold the same spans in the same order. */
    public boolean sameSpans(SpanList other) {
        return size == other.size
                && Arrays.equals(starts, 0, size, other.starts, 0, size)
                && Arrays.equals(ends, 0, size, other.ends, 0, size)
                && Arrays.equals(captureIds, 0, size, other.captureIds, 0, size)
                && Arrays.equals(patterns, 0, size, other.patterns, 0, size);
    }
}
