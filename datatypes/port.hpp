// port!: an object whose actions are served by the actor of its scheme. Making one from a spec
// and system/schemes, printing it as an object, and forwarding every series and I/O action to
// the actor's function of the same name (actors that are handle! values are served by the
// action dispatch before these forwarders are reached).
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::port {

// The class id every port carries.
inline constexpr uint32_t port_class = 2;

// ---- What start-up connects -----------------------------------------------------------------
// The system object, read for system/schemes and system/standard.
void register_system_object(const cell* system);
// Calls an actor function: pushes a call frame named by `name` (the action's word), pushes
// the `count` arguments, runs the function and answers its result.
using actor_caller = cell (*)(const cell& function, const cell& name, cell* arguments, uint32_t count);
extern actor_caller call_actor_hook;

cell* make(cell* prototype, cell* spec, int32_t type);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
cell* read(cell* source, cell* part, cell* seek, bool binary, bool lines, bool info, cell* as);
cell* write(cell* destination, cell* data, bool binary, bool lines, bool info, bool append, cell* part, cell* seek,
            cell* allow, cell* as);
void init();

}  // namespace tav::port
