package morv.ts;

import com.sun.jna.Native;
import com.sun.jna.Pointer;

import java.nio.ByteBuffer;
import java.nio.ByteOrder;

/**
 * A document's text as UTF-16LE in native memory, where the library parses
 * it and evaluates text predicates without a copy or a call back into Java.
 * An editor keeps one per document and applies each change with
 * {@link #replace}, which moves the tail in place (the buffer grows with slack
 * and is reallocated only when it runs out).
 *
 * <p>The memory belongs to this object and the garbage collector frees it;
 * a parse and a capture run hold the buffer they read until they end. The
 * text must not be changed while a capture run over it goes on: the run
 * notices (through {@link #version}) and throws instead of reading changed
 * text. One thread at a time.
 */
public final class Utf16Text implements CharSequence {
    private ByteBuffer buffer;
    private long address;
    private int length;
    private long version;

    private Utf16Text(int capacity) {
        allocate(capacity);
    }

    /** A copy of {@code text}. */
    public static Utf16Text of(CharSequence text) {
        Utf16Text result = new Utf16Text(text.length() + text.length() / 16 + 64);
        for (int i = 0; i < text.length(); i++) {
            result.buffer.putChar(2 * i, text.charAt(i));
        }
        result.length = text.length();
        return result;
    }

    /** A copy of {@code text}. */
    public static Utf16Text of(char[] text) {
        Utf16Text result = new Utf16Text(text.length + text.length / 16 + 64);
        result.buffer.asCharBuffer().put(text);
        result.length = text.length;
        return result;
    }

    private void allocate(int chars) {
        ByteBuffer next = ByteBuffer.allocateDirect(Math.max(2, 2 * chars)).order(ByteOrder.LITTLE_ENDIAN);
        if (buffer != null) {
            next.put(0, buffer, 0, 2 * length);
        }
        buffer = next;
        address = Pointer.nativeValue(Native.getDirectBufferPointer(next));
    }

    /**
     * Replaces the chars {@code [start, end)} by {@code with} and returns the
     * edit in UTF-16 bytes, for {@link Tree#edit}. The positions are computed
     * from {@code startPoint}, the position of {@code start} that the caller
     * knows (an editor keeps its line starts), and the replaced and inserted
     * text.
     *
     * @throws IndexOutOfBoundsException unless {@code 0 <= start <= end <= length()}
     */
    public InputEdit replace(int start, int end, CharSequence with, Point startPoint) {
        if (start < 0 || start > end || end > length) {
            throw new IndexOutOfBoundsException("[" + start + ", " + end + ") of " + length);
        }
        Point oldEnd = advance(startPoint, this, start, end);
        Point newEnd = advance(startPoint, with, 0, with.length());
        int grown = length - (end - start) + with.length();
        if (2L * grown > buffer.capacity()) {
            allocate(grown + grown / 8 + 64);
        }
        // Overlapping moves within one buffer copy like memmove.
        buffer.put(2 * (start + with.length()), buffer, 2 * end, 2 * (length - end));
        for (int i = 0; i < with.length(); i++) {
            buffer.putChar(2 * (start + i), with.charAt(i));
        }
        length = grown;
        version++;
        return new InputEdit(2 * start, 2 * end, 2 * (start + with.length()), startPoint, oldEnd, newEnd);
    }

    private static Point advance(Point from, CharSequence text, int start, int end) {
        int row = from.row();
        int column = from.column();
        for (int i = start; i < end; i++) {
            if (text.charAt(i) == '\n') {
                row++;
                column = 0;
            } else {
                column += 2;
            }
        }
        return new Point(row, column);
    }

    @Override
    public int length() {
        return length;
    }

    /** The text's size in UTF-16 bytes. */
    public int byteLength() {
        return 2 * length;
    }

    @Override
    public char charAt(int index) {
        if (index < 0 || index >= length) {
            throw new IndexOutOfBoundsException(index);
        }
        return buffer.getChar(2 * index);
    }

    @Override
    public String subSequence(int start, int end) {
        if (start < 0 || start > end || end > length) {
            throw new IndexOutOfBoundsException("[" + start + ", " + end + ") of " + length);
        }
        char[] chars = new char[end - start];
        buffer.slice(2 * start, 2 * (end - start)).order(ByteOrder.LITTLE_ENDIAN).asCharBuffer().get(chars);
        return new String(chars);
    }

    @Override
    public String toString() {
        return subSequence(0, length);
    }

    /** Counts the changes: it moves on with every {@link #replace}. */
    public long version() {
        return version;
    }

    /** The buffer that holds the current text; reachable while a reader of {@link #address} runs. */
    ByteBuffer buffer() {
        return buffer;
    }

    long address() {
        return address;
    }
}
