// Process start-up: the runtime thread with its large stack, fault signals mapped to the
// numbered runtime errors, and the command line as UTF-8 arguments.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "runtime/heap.hpp"
#include "runtime/platform.hpp"
#include "runtime/throw.hpp"

namespace tav {

system_state_record system_state{0, nullptr, 0};

namespace platform {
namespace {

constexpr size_t runtime_stack_size = size_t{512} << 20;  // reserved, committed as touched
constexpr size_t minimum_stack_size = size_t{16} << 20;
constexpr size_t guard_size = size_t{1} << 20;
constexpr size_t signal_stack_size = size_t{256} << 10;

stack_bounds bounds{};
pthread_t runtime_thread{};
void (*interrupt_hook)() = nullptr;
void (*terminal_restorer)() = nullptr;

struct thread_start {
  int (*body)(void*);
  void* context;
  int status;
};

uint32_t fpe_number(int code) {
  switch (code) {
    case FPE_INTDIV: return 13;
    case FPE_INTOVF: return 14;
    case FPE_FLTDIV: return 7;
    case FPE_FLTOVF: return 10;
    case FPE_FLTUND: return 12;
    case FPE_FLTRES: return 8;
    case FPE_FLTINV: return 9;
    case FPE_FLTSUB: return 5;
    default: return 33;
  }
}

uint32_t ill_number(int code) {
  switch (code) {
    case ILL_ILLOPC: return 17;
    case ILL_ILLOPN: return 23;
    case ILL_ILLADR: return 24;
    case ILL_ILLTRP: return 25;
    case ILL_PRVOPC: return 15;
    case ILL_PRVREG: return 31;
    case ILL_COPROC: return 26;
    case ILL_BADSTK: return 19;
    default: return 99;
  }
}

uint32_t bus_number(int code) {
  switch (code) {
    case BUS_ADRALN: return 2;
    case BUS_ADRERR: return 27;
    case BUS_OBJERR: return 28;
#ifdef BUS_MCEERR_AR
    case BUS_MCEERR_AR: return 29;
    case BUS_MCEERR_AO: return 30;
#endif
    default: return 34;
  }
}

bool in_guard_zone(const void* address) {
  auto* a = static_cast<const char*>(address);
  return bounds.guard_low && a >= bounds.guard_low && a < bounds.guard_high;
}

uint32_t signal_number(int signal, const siginfo_t* info) {
  switch (signal) {
    case SIGFPE: return fpe_number(info->si_code);
    case SIGILL: return ill_number(info->si_code);
    case SIGSEGV: return in_guard_zone(info->si_addr) ? 19 : 32;
    case SIGBUS: return bus_number(info->si_code);
    case SIGTRAP: return info->si_code == TRAP_TRACE ? 4 : 3;
    default: return 99;
  }
}

const void* fault_address(void* context) {
#if defined(__x86_64__)
  return reinterpret_cast<const void*>(static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
#else
  (void)context;
  return nullptr;
#endif
}

TAV_SIGNAL_SAFE void on_fault(int signal, siginfo_t* info, void* context) {
  runtime_error(signal_number(signal, info), fault_address(context));
}

TAV_SIGNAL_SAFE void on_interrupt(int) {
  restore_terminal();
  if (interrupt_hook) interrupt_hook();
  runtime_error(0, nullptr);
}

void install_alternate_stack() {
  stack_t alternate{};
  alternate.ss_sp = heap_alloc(signal_stack_size);
  alternate.ss_size = signal_stack_size;
  ::sigaltstack(&alternate, nullptr);
}

void remove_alternate_stack() {
  stack_t disable{}, old{};
  disable.ss_flags = SS_DISABLE;
  if (::sigaltstack(&disable, &old) == 0 && old.ss_sp) heap_free(old.ss_sp);
}

void install_handlers() {
  struct sigaction action{};
  action.sa_sigaction = on_fault;
  // Not deferred: a fault inside the report itself must reach the handler again rather
  // than have the kernel end the process without a status of ours.
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGFPE, SIGILL, SIGSEGV, SIGBUS, SIGTRAP}) ::sigaction(signal, &action, nullptr);

  struct sigaction interrupt{};
  interrupt.sa_handler = on_interrupt;
  interrupt.sa_flags = SA_ONSTACK;
  sigemptyset(&interrupt.sa_mask);
  ::sigaction(SIGINT, &interrupt, nullptr);

  ::signal(SIGPIPE, SIG_IGN);
}

// Linux hands the program its arguments as bytes, which are UTF-8 on every supported
// locale; they are copied into the tracked heap so that they live as long as the runtime.
void build_arguments(int argc, char** argv) {
  auto** vector = static_cast<char**>(heap_alloc(sizeof(char*) * static_cast<size_t>(argc + 1)));
  for (int i = 0; i < argc; ++i) {
    size_t size = std::strlen(argv[i]) + 1;
    vector[i] = static_cast<char*>(heap_alloc(size));
    std::memcpy(vector[i], argv[i], size);
  }
  vector[argc] = nullptr;
  system_state = {argc, vector, 0};
}

// A standard descriptor the parent closed is held on /dev/null so that no file the script
// opens takes its number. Standard output is held read-only: printing still fails, and the
// failure is reported, instead of landing in the script's file or vanishing.
void hold_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    int held = ::open("/dev/null", fd == 1 ? O_RDONLY : O_RDWR);
    if (held >= 0 && held != fd) {
      ::dup2(held, fd);
      ::close(held);
    }
  }
}

void* run_runtime_thread(void* raw) {
  auto* start = static_cast<thread_start*>(raw);
  install_alternate_stack();
  start->status = run_with_top_level_catch(start->body, start->context);
  remove_alternate_stack();
  return nullptr;
}

}  // namespace

const stack_bounds& runtime_stack() { return bounds; }

bool on_runtime_thread() { return bounds.low && pthread_equal(pthread_self(), runtime_thread); }

void set_interrupt_hook(void (*hook)()) { interrupt_hook = hook; }

void set_terminal_restorer(void (*hook)()) { terminal_restorer = hook; }

TAV_SIGNAL_SAFE void restore_terminal() {
  if (terminal_restorer) terminal_restorer();
}

int start_up(int argc, char** argv, int (*body)(void*), void* context) {
  build_arguments(argc, argv);
  hold_standard_descriptors();
  install_handlers();
  install_alternate_stack();

  // The stack is reserved, not committed: pages arrive as the runtime touches them. The
  // lowest megabyte stays inaccessible so that runaway recursion faults in a known zone.
  // Under an address-space limit (ulimit -v) a smaller stack is taken rather than none.
  size_t stack_size = runtime_stack_size, total = 0;
  void* region = MAP_FAILED;
  for (; region == MAP_FAILED && stack_size >= minimum_stack_size; stack_size /= 2) {
    total = stack_size + guard_size;
    region = ::mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK,
                    -1, 0);
  }
  if (region == MAP_FAILED) runtime_error(94);
  ::mprotect(region, guard_size, PROT_NONE);
  char* low = static_cast<char*>(region);
  bounds = {low + guard_size, low + total, low, low + guard_size};

  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstack(&attributes, bounds.low, total - guard_size);
  thread_start start{body, context, 0};
  if (pthread_create(&runtime_thread, &attributes, run_runtime_thread, &start) != 0) runtime_error(94);
  pthread_attr_destroy(&attributes);
  // The signals a terminal sends go to the runtime thread, which handles them between its own
  // reads: a window change is seen before the key that follows it.
  sigset_t terminal_signals, old_mask;
  sigemptyset(&terminal_signals);
  for (int signal : {SIGWINCH, SIGINT, SIGTERM, SIGHUP}) sigaddset(&terminal_signals, signal);
  pthread_sigmask(SIG_BLOCK, &terminal_signals, &old_mask);
  pthread_join(runtime_thread, nullptr);
  pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
  bounds = {};
  return start.status;
}

}  // namespace platform
}  // namespace tav
