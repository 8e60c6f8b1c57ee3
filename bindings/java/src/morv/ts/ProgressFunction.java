package morv.ts;

/** Called now and then during a parse, on the parsing thread. */
@FunctionalInterface
public interface ProgressFunction {
    /** Returns true to stop the parse at {@code byteOffset}; {@link Parser#parse} then returns null. */
    boolean stop(int byteOffset);
}
