// The harness that the JVM test programs extend: checks that print what
// failed, named test bodies whose exceptions count as failures, and the
// closing summary line, "N passed, N failed", with an exit code that is 0
// only when every check passed.
class Checks {
  static int passed;
  static int failed;

  static void check(boolean condition, String what) {
    if (condition) {
      passed++;
    } else {
      failed++;
      System.out.println("FAILED: " + what);
    }
  }

  interface Body {
    void run() throws Exception;
  }

  static void test(String name, Body body) {
    try {
      body.run();
    } catch (Throwable t) {
      failed++;
      System.out.println("FAILED: " + name + " threw " + t);
      t.printStackTrace(System.out);
    }
  }

  static boolean throwsIt(Class<? extends Throwable> type, Body body) {
    try {
      body.run();
      return false;
    } catch (Throwable t) {
      return type.isInstance(t);
    }
  }

  static void finish() {
    System.out.println(passed + " passed, " + failed + " failed");
    System.exit(failed == 0 ? 0 : 1);
  }
}
