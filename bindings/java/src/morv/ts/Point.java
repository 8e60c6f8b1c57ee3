package morv.ts;

/** A position in the document: a row from 0 and a column in bytes of UTF-16 text within the row. */
public record Point(int row, int column) {
}
