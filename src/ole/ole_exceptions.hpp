// The two failures of the value layer, raised by value and caught by
// reference like every tk_exception: ole_cast_exception when a value cannot be
// converted to the requested type, ole_type_exception when a requested type is
// not supported when building a value from text. Both are item-level
// failures: the record fails, the run goes on. Immutable; thread-safe.
#pragma once

#include "tk_exception.hpp"

class ole_cast_exception : public tk_exception {
 public:
  ole_cast_exception()
      : tk_exception("Cannot cast from source type to destination type", tk_level_item) {}
};

class ole_type_exception : public tk_exception {
 public:
  ole_type_exception() : tk_exception("The operating type is not supported yet", tk_level_item) {}
};
