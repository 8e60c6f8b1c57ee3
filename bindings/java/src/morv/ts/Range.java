package morv.ts;

/**
 * A range of the document: from {@code startByte} at {@code startPoint} up to
 * {@code endByte} at {@code endPoint} (exclusive), in UTF-16 bytes.
 */
public record Range(Point startPoint, Point endPoint, int startByte, int endByte) {
    /** Reads the 24-byte native range record at {@code offset}. */
    static Range read(java.nio.ByteBuffer b, int offset) {
        return new Range(new Point(b.getInt(offset), b.getInt(offset + 4)),
                new Point(b.getInt(offset + 8), b.getInt(offset + 12)), b.getInt(offset + 16), b.getInt(offset + 20));
    }

    /** Writes the range as a 24-byte native range record at {@code offset}. */
    void write(java.nio.ByteBuffer b, int offset) {
        b.putInt(offset, startPoint.row());
        b.putInt(offset + 4, startPoint.column());
        b.putInt(offset + 8, endPoint.row());
        b.putInt(offset + 12, endPoint.column());
        b.putInt(offset + 16, startByte);
        b.putInt(offset + 20, endByte);
    }
}
