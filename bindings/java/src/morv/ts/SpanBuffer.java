package morv.ts;

/**
 * One reusable block of native memory into which
 * {@link QueryCursor#nextSpans} writes captures in bulk, 16 bytes each; the
 * accessors read them in place with absolute loads, so reading a span
 * allocates nothing. The spans stay until the next fill. The memory belongs
 * to this object and the garbage collector frees it. One thread at a time.
 */
public final class SpanBuffer extends RecordBlock {
    /** A buffer for up to {@code capacity} spans per fill. */
    public SpanBuffer(int capacity) {
        super(capacity, Bridge.SPAN_SIZE);
    }

    public int startByte(int i) {
        return buffer().getInt(offset(i));
    }

    public int endByte(int i) {
        return buffer().getInt(offset(i) + 4);
    }

    /** The capture id, an index into the query's capture names. */
    public int captureId(int i) {
        return buffer().getShort(offset(i) + 8) & 0xffff;
    }

    public int patternIndex(int i) {
        return buffer().getShort(offset(i) + 10) & 0xffff;
    }

    /** The id of the span's match within its run. */
    public int matchId(int i) {
        return buffer().getInt(offset(i) + 12);
    }
}
