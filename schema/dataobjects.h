#pragma once
// The DataWindow objects of the system, registered in the runtime's definition library.

namespace schema {

// Registers all 29 objects; safe to call more than once.
void RegisterDataObjects();

}  // namespace schema
