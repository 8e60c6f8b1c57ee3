package morv.ts;

import java.nio.ByteBuffer;

/**
 * Hands the parser the document's text, in UTF-16 little-endian code units.
 */
@FunctionalInterface
public interface TextReader {
    /**
     * Returns the text that starts at {@code byteIndex} (at {@code row},
     * {@code column}): the bytes between the buffer's position and its limit,
     * an even number of them. Null or an empty buffer ends the document. The
     * parser reads the buffer until the next call or the end of the parse, so
     * its contents must not change before then. A direct buffer is read in
     * place; a heap buffer is copied into native memory first.
     *
     * <p>An exception thrown here ends the parse: the parser drops what it
     * has parsed and {@link Parser#parse} throws the same exception.
     */
    ByteBuffer read(int byteIndex, int row, int column);
}
