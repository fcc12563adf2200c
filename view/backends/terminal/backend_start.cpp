#include "view/backends/terminal/backend_start.hpp"

#include <cstdint>

#include "datatypes/symbol.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/values.hpp"
#include "view/backends/terminal/face_access.hpp"
#include "view/backends/terminal/screen.hpp"
#include "view/backends/terminal/widget.hpp"

namespace tav::tui {
namespace {

inline constexpr uint8_t platform_version[] = {10, 10, 10};
inline constexpr int32_t platform_build = 1000;
inline constexpr int32_t platform_product = 0;
inline constexpr int true_color = 4;
inline constexpr int palette_256 = 2;

void set_field(const cell& object, const char* name, const cell& value) {
  set_facet(object, symbol::resolve(symbol::make(name)), value);
}

}  // namespace

void start_backend(const cell& platform, int32_t probed_color_mode) {
  cell version;
  tuple::make_at(version, 3, platform_version);
  set_field(platform, "version", version);
  set_field(platform, "build", scalar::integer(platform_build));
  set_field(platform, "product", scalar::integer(platform_product));
  // Any answer but the palette's keeps 24-bit colour.
  screen.color_mode = probed_color_mode == palette_256 ? palette_256 : true_color;
  screen_init();
  register_widget_marker();
}

}  // namespace tav::tui
