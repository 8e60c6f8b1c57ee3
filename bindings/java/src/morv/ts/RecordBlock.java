package morv.ts;

import java.nio.ByteBuffer;

/**
 * A reusable block of native memory that one bulk export fills with
 * fixed-size records; the subclasses read the fields of record {@code i} in
 * place, at {@link #offset}, with absolute loads from {@link #buffer}, and
 * allocate nothing. The records stay until the next fill. The memory belongs
 * to this object and the garbage collector frees it. One thread at a time.
 */
abstract class RecordBlock {
    private final Scratch block;
    private final int capacity;
    private final int recordSize;
    private int size;

    RecordBlock(int capacity, int recordSize) {
        if (capacity <= 0) {
            throw new IllegalArgumentException("capacity " + capacity);
        }
        this.capacity = capacity;
        this.recordSize = recordSize;
        this.block = new Scratch(capacity * recordSize);
    }

    /** The most records one fill writes. */
    public int capacity() {
        return capacity;
    }

    /** The number of records of the last fill. */
    public int size() {
        return size;
    }

    /** The first byte of record {@code i} of the last fill. */
    final int offset(int i) {
        if (i < 0 || i >= size) {
            throw new IndexOutOfBoundsException(i);
        }
        return i * recordSize;
    }

    final ByteBuffer buffer() {
        return block.buffer;
    }

    long address() {
        return block.address;
    }

    void filled(int count) {
        size = count;
    }
}
