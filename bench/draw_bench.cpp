// The Draw dialect's walker: a block of 10,000 command groups (pens, lines, boxes, circles,
// text, a rotation with its nested block, a shape) read and checked by `draw`, beside the same
// grammar checked by a PARSE rule over the same block.
#include <cstdio>

#include "bench/bench_util.hpp"
#include "boot/startup.hpp"
#include "runtime/platform.hpp"

namespace {

using namespace tav;

constexpr int groups = 10000;

const char* block_definitions =
    "group: [pen 255.0.0 line 0x0 4x2 9x9 box 1x1 3x3 fill-pen 0.0.255 circle 10x5 2 "
    "text 0x0 \"x\" rotate 30 5x5 [box 0x0 2x2] shape [move 0x0 line 5x5 hline 3]] "
    "cmds: make block! 300000 loop 10000 [append cmds group] "
    "pic: make image! 10x5";

// The commands of the group, with their optional arguments, as the walker reads them.
const char* rule_definitions =
    "pt: [pair! | point2D!] "
    "shape-rule: [any ['move pt | 'line some pt | 'hline number!]] "
    "draw-rule: [any ['pen tuple! | 'fill-pen tuple! | 'line pt some pt | 'box pt pt opt number! "
    "| 'circle pt number! opt number! | 'text pt string! "
    "| 'rotate number! opt pt opt [ahead block! into draw-rule] | 'shape ahead block! into shape-rule]]";

void print_rate(const char* label, double values, double seconds) {
  if (seconds > 0)
    std::printf("  %-30s %10.2f M values/s %10.3f ms\n", label, values / seconds / 1e6, seconds * 1e3);
  else
    std::printf("  %-30s %10s\n", label, "-");
}

int run(void*) {
  boot::init_runtime();
  source::define_core();
  source::run_text(block_definitions);
  source::run_text(rule_definitions);
  source::run_text("unless parse cmds draw-rule [print \"the rule does not match the block\"]");
  // Every value of the block, the nested blocks' values counted each time they are read.
  constexpr double values = groups * (23.0 + 3 + 6);
  const double walker = bench::time_tav("draw pic cmds");
  const double rule = bench::time_tav("parse cmds draw-rule");
  std::printf("checking a Draw block of %d command groups:\n", groups);
  print_rate("draw (the walker)", values, walker);
  print_rate("parse with the same grammar", values, rule);
  if (walker > 0 && rule > 0) std::printf("  parse time / draw time %10.2f\n", rule / walker);
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return platform::start_up(argc, argv, run, nullptr); }
