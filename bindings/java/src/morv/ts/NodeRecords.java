package morv.ts;

/**
 * One reusable block of native memory into which {@link TreeExport#next}
 * writes node records, 32 bytes each; the accessors read them in place with
 * absolute loads and allocate nothing. The records stay until the next fill.
 * The memory belongs to this object and the garbage collector frees it. One
 * thread at a time.
 */
public final class NodeRecords extends RecordBlock {
    /** Flag bits of {@link #flags}. */
    public static final int NAMED = 1;
    public static final int MISSING = 2;
    public static final int ERROR = 4;
    public static final int HAS_ERROR = 8;
    public static final int EXTRA = 16;
    public static final int HAS_CHANGES = 32;

    /** A block for up to {@code capacity} records per fill. */
    public NodeRecords(int capacity) {
        super(capacity, Bridge.RECORD_SIZE);
    }

    public int startByte(int i) {
        return buffer().getInt(offset(i));
    }

    public int endByte(int i) {
        return buffer().getInt(offset(i) + 4);
    }

    public int startRow(int i) {
        return buffer().getInt(offset(i) + 8);
    }

    public int endRow(int i) {
        return buffer().getInt(offset(i) + 12);
    }

    /** Levels below the node the export started from. */
    public int depth(int i) {
        return buffer().getInt(offset(i) + 16);
    }

    /** Children, anonymous ones included, exported or not. */
    public int childCount(int i) {
        return buffer().getInt(offset(i) + 20);
    }

    public int symbol(int i) {
        return buffer().getShort(offset(i) + 24) & 0xffff;
    }

    /** The field under which the parent holds the node; 0 for none and for the export's start node. */
    public int fieldId(int i) {
        return buffer().getShort(offset(i) + 26) & 0xffff;
    }

    /** The {@link #NAMED}, {@link #MISSING}, ... bits. */
    public int flags(int i) {
        return buffer().getShort(offset(i) + 28) & 0xffff;
    }

    public boolean isNamed(int i) {
        return (flags(i) & NAMED) != 0;
    }
}
