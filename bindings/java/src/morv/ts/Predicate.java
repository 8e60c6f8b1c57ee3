package morv.ts;

import java.util.List;

/**
 * One predicate of a pattern as written in the query ({@code #eq? @a "x"}):
 * its operator without the leading {@code #}, then its arguments.
 */
public record Predicate(String operator, List<Argument> arguments) {
    /** A capture (its id, with a null text) or a string (capture id -1). */
    public record Argument(int captureId, String string) {
        public boolean isCapture() {
            return captureId >= 0;
        }
    }
}
