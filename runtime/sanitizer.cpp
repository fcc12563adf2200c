// Sanitizer settings the runtime depends on: fake stacks would hide roots from the
// collector's stack scan, and fault signals are the runtime's own to report.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options() {
  return "detect_stack_use_after_return=0:handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:"
         "use_sigaltstack=0:allow_user_segv_handler=1:detect_leaks=0";
}
#endif
