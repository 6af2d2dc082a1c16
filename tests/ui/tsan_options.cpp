// Under ThreadSanitizer: Debian's Qt is not instrumented, and its thread pool and wait
// conditions hand data over in ways the sanitizer cannot see, so accesses made inside Qt's
// own libraries are not checked. Everything built here (the dialog, the core, the tests) still
// is, including every hand-over between the job's thread and the dialog's.
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
