// Dates: 1M `to date!` of epoch seconds, 1M `form` of a date with a time and a zone, 1M
// `to integer!` of a date, and 1M each of a field read, a field set, a date plus days and a
// date minus a date, evaluated by the interpreter, beside Python 3's
// datetime.fromtimestamp, strftime, timestamp(), isocalendar(), replace() and the timedelta
// arithmetic in the same run, in millions per second.
// The empty loop of each side is printed too, for the share the loop itself takes.
// TAV_BENCH_NO_PYTHON=1 leaves Python out.
#include <cstdio>

#include "bench/bench_util.hpp"
#include "boot/startup.hpp"
#include "runtime/platform.hpp"

namespace {

using namespace tav;

const char* python_setup =
    "import datetime\n"
    "zone = datetime.timezone(datetime.timedelta(hours=2))\n"
    "d = datetime.datetime(2024, 3, 5, 10, 30, 15, tzinfo=zone)\n"
    "utc = datetime.timezone.utc\n"
    "day = datetime.timedelta(days=1)\n"
    "e = datetime.datetime(2021, 1, 1, tzinfo=utc)";

const bench::peer_operation operations[] = {
    {"empty loop", "repeat n 1000000 []", "for n in range(1000000): pass"},
    {"to date! seconds", "repeat n 1000000 [to date! n]",
     "for n in range(1000000): datetime.datetime.fromtimestamp(n, utc)"},
    {"form date", "repeat n 1000000 [form d]", "for n in range(1000000): d.strftime(\"%d-%b-%Y/%H:%M:%S%z\")"},
    {"to integer! date", "repeat n 1000000 [to integer! d]", "for n in range(1000000): d.timestamp()"},
    {"d/isoweek", "repeat n 1000000 [d/isoweek]", "for n in range(1000000): d.isocalendar()[1]"},
    {"d/month: 3", "repeat n 1000000 [d/month: 3]", "for n in range(1000000): d.replace(month=3)"},
    {"date + 1", "repeat n 1000000 [d + 1]", "for n in range(1000000): d + day"},
    {"date - date", "repeat n 1000000 [d - e]", "for n in range(1000000): (d - e).days"},
};

int run(void*) {
  boot::init_runtime();
  source::define_core();
  source::run_text("d: 5-Mar-2024/10:30:15+02:00 e: 1-Jan-2021");
  bench::print_python_table(operations, python_setup);
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return platform::start_up(argc, argv, run, nullptr); }
