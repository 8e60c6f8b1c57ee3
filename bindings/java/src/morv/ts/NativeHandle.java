package morv.ts;

import java.lang.ref.Cleaner;
import java.util.function.LongConsumer;

/**
 * The one native pointer of a handle class and its release: {@link #close}
 * deletes the native object once, a second close does nothing, and a
 * {@link Cleaner} deletes it if the owning object becomes unreachable without
 * being closed. The cleaning action holds the pointer and the delete function
 * only, never the owning object, which would otherwise stay reachable forever.
 */
final class NativeHandle {
    private static final Cleaner CLEANER = Cleaner.create();

    private static final class Release implements Runnable {
        private final LongConsumer delete;
        private volatile long pointer;

        Release(long pointer, LongConsumer delete) {
            this.pointer = pointer;
            this.delete = delete;
        }

        @Override
        public void run() {
            long p = pointer;
            pointer = 0;
            if (p != 0) {
                delete.accept(p);
            }
        }
    }

    private final Release release;
    private final Cleaner.Cleanable cleanable;
    private final String kind;

    /** Takes over {@code pointer} (not 0) for {@code owner}; {@code delete} must not capture the owner. */
    NativeHandle(Object owner, long pointer, LongConsumer delete, String kind) {
        this.release = new Release(pointer, delete);
        this.cleanable = CLEANER.register(owner, release);
        this.kind = kind;
    }

    /** The native pointer; throws {@link IllegalStateException} once closed. */
    long get() {
        long p = release.pointer;
        if (p == 0) {
            throw new IllegalStateException("the " + kind + " is closed");
        }
        return p;
    }

    boolean isOpen() {
        return release.pointer != 0;
    }

    void close() {
        cleanable.clean();
    }
}
