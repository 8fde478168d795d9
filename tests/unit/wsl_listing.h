// Test support: prints a descriptor buffer in the canonical listing form that tools/wslc.py
// prints for its sources (one line per window and control, "name=value" items sorted by
// name, every field of the record's kind). Written independently of the compiler, from the
// record layouts, so that a fault on either side shows as a difference.
#pragma once
#include <string>

#include "runtime/wsl/descriptor.h"

namespace wsltest {

std::string Listing(const char* module_id, const char* resource_name, const vel::Descriptor& d);

}  // namespace wsltest
