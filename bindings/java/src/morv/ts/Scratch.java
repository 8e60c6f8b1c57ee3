package morv.ts;

import com.sun.jna.Native;
import com.sun.jna.Pointer;

import java.nio.ByteBuffer;
import java.nio.ByteOrder;

/**
 * A small block of native memory that Java reads and writes through a direct
 * buffer (plain loads and stores, no native call) and hands to the library by
 * address. Each owner uses its own block from one thread at a time, as the
 * library's rules for handles already demand.
 */
final class Scratch {
    final ByteBuffer buffer;
    final long address;

    Scratch(int size) {
        buffer = ByteBuffer.allocateDirect(size).order(ByteOrder.nativeOrder());
        address = Pointer.nativeValue(Native.getDirectBufferPointer(buffer));
    }
}
