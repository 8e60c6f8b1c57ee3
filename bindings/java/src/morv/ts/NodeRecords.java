package morv.ts;

import java.nio.ByteBuffer;

/**
 * One reusable block of native memory into which {@link TreeExport#next}
 * writes node records, 32 bytes each; the accessors read them in place with
 * absolute loads and allocate nothing. The records stay until the next fill.
 * The memory belongs to this object and the garbage collector frees it. One
 * thread at a time.
 */
public final class NodeRecords {
    /** Flag bits of {@link #flags}. */
    public static final int NAMED = 1;
    public static final int MISSING = 2;
    public static final int ERROR = 4;
    public static final int HAS_ERROR = 8;
    public static final int EXTRA = 16;
    public static final int HAS_CHANGES = 32;

    private final Scratch block;
    private final int capacity;
    private int size;

    /** A block for up to {@code capacity} records per fill. */
    public NodeRecords(int capacity) {
        if (capacity <= 0) {
            throw new IllegalArgumentException("capacity " + capacity);
        }
        this.capacity = capacity;
        this.block = new Scratch(capacity * Bridge.RECORD_SIZE);
    }

    public int capacity() {
        return capacity;
    }

    /** The number of records of the last fill. */
    public int size() {
        return size;
    }

    public int startByte(int i) {
        return at(i).getInt(i * Bridge.RECORD_SIZE);
    }

    public int endByte(int i) {
        return at(i).getInt(i * Bridge.RECORD_SIZE + 4);
    }

    public int startRow(int i) {
        return at(i).getInt(i * Bridge.RECORD_SIZE + 8);
    }

    public int endRow(int i) {
        return at(i).getInt(i * Bridge.RECORD_SIZE + 12);
    }

    /** Levels below the node the export started from. */
    public int depth(int i) {
        return at(i).getInt(i * Bridge.RECORD_SIZE + 16);
    }

    /** Children, anonymous ones included, exported or not. */
    public int childCount(int i) {
        return at(i).getInt(i * Bridge.RECORD_SIZE + 20);
    }

    public int symbol(int i) {
        return at(i).getShort(i * Bridge.RECORD_SIZE + 24) & 0xffff;
    }

    /** The field under which the parent holds the node; 0 for none and for the export's start node. */
    public int fieldId(int i) {
        return at(i).getShort(i * Bridge.RECORD_SIZE + 26) & 0xffff;
    }

    /** The {@link #NAMED}, {@link #MISSING}, ... bits. */
    public int flags(int i) {
        return at(i).getShort(i * Bridge.RECORD_SIZE + 28) & 0xffff;
    }

    public boolean isNamed(int i) {
        return (flags(i) & NAMED) != 0;
    }

    private ByteBuffer at(int i) {
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
