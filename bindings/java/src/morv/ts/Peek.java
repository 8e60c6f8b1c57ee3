package morv.ts;

import com.sun.jna.Pointer;

/**
 * A pointer whose address can be moved, so that records in the library's own
 * memory (capture arrays, predicate steps, names) are read without a new
 * pointer object per record.
 */
final class Peek extends Pointer {
    Peek() {
        super(0);
    }

    Peek at(long address) {
        peer = address;
        return this;
    }
}
