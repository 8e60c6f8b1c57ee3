package morv.ts;

/**
 * One change of the document's text, in UTF-16 bytes and positions: the text
 * between {@code startByte} and {@code oldEndByte} was replaced by the text
 * between {@code startByte} and {@code newEndByte}.
 */
public record InputEdit(int startByte, int oldEndByte, int newEndByte,
        Point start, Point oldEnd, Point newEnd) {
}
