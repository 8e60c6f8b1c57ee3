package morv.ts;

import java.nio.ByteBuffer;

/**
 * One reusable block of native memory into which
 * {@link QueryCursor#nextSpans} writes captures in bulk, 16 bytes each; the
 * accessors read them in place with absolute loads, so reading a span
 * allocates nothing. The spans stay until the next fill. The memory belongs
 * to this object and the garbage collector frees it. One thread at a time.
 */
public final class SpanBuffer {
    private final Scratch block;
    private final int capacity;
    private int size;

    /** A buffer for up to {@code capacity} spans per fill. */
    public SpanBuffer(int capacity) {
        if (capacity <= 0) {
            throw new IllegalArgumentException("capacity " + capacity);
        }
        this.capacity = capacity;
        this.block = new Scratch(capacity * Bridge.SPAN_SIZE);
    }

    public int capacity() {
        return capacity;
    }

    /** The number of spans of the last fill. */
    public int size() {
        return size;
    }

    public int startByte(int i) {
        return buffer(i).getInt(i * Bridge.SPAN_SIZE);
    }

    public int endByte(int i) {
        return buffer(i).getInt(i * Bridge.SPAN_SIZE + 4);
    }

    /** The capture id, an index into the query's capture names. */
    public int captureId(int i) {
        return buffer(i).getShort(i * Bridge.SPAN_SIZE + 8) & 0xffff;
    }

    public int patternIndex(int i) {
        return buffer(i).getShort(i * Bridge.SPAN_SIZE + 10) & 0xffff;
    }

    /** The id of the span's match within its run. */
    public int matchId(int i) {
        return buffer(i).getInt(i * Bridge.SPAN_SIZE + 12);
    }

    private ByteBuffer buffer(int i) {
        if (i < 0 || i >= size) {
            throw new IndexOutOfBoundsException(i);
        }
        return block.buffer;
    }

    long address() {
        return block.address;
    }

    void filled(int count) {
        size = count;
    }
}
