package morv.ts;

import java.lang.invoke.MethodHandles;
import java.lang.invoke.VarHandle;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;

/**
 * A 32-bit cell of native memory that a parse watches: once any thread sets
 * it, a running {@link Parser#parse(Utf16Text, Tree, CancelFlag, long)} stops
 * and returns null. Set and clear are atomic stores, so another thread (a UI
 * thread that sees the text change again) may call them while the parse runs.
 *
 * <p>The flag's memory belongs to this object and is freed by the garbage
 * collector once neither the flag nor a parse that uses it holds it; a parse
 * holds its flag until it returns. The flag stays set until {@link #clear}.
 */
public final class CancelFlag {
    private static final VarHandle INT =
            MethodHandles.byteBufferViewVarHandle(int[].class, ByteOrder.nativeOrder());

    private final Scratch cell = new Scratch(8);

    /** Asks the parses that watch this flag to stop. */
    public void set() {
        INT.setVolatile(cell.buffer, 0, 1);
    }

    /** Lets the following parses run to the end. */
    public void clear() {
        INT.setVolatile(cell.buffer, 0, 0);
    }

    public boolean isSet() {
        return (int) INT.getVolatile(cell.buffer, 0) != 0;
    }

    long address() {
        return cell.address;
    }

    ByteBuffer buffer() {
        return cell.buffer;
    }
}
