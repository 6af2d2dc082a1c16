// Under ThreadSanitizer: Debian's Qt and cpp-httplib are not instrumented, and they hand data
// over in ways the sanitizer cannot see (Qt's thread pool and wait conditions; the fast path of
// a function's static, such as a regular expression the server's connection threads share), so
// accesses made inside those libraries are not checked. Everything built here (the dialog, the
// dashboard, the core, the tests) still is, including every hand-over between their threads.
#if defined(__SANITIZE_THREAD__)
#define ORVANE_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ORVANE_TSAN 1
#endif
#endif

#ifdef ORVANE_TSAN
extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1";
}
#endif
