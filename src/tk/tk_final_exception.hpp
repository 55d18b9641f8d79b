// tk_final_exception: the user stopped the run. Deliberately not a
// tk_exception, so handlers that catch tk_exception let it pass up to the run
// operation, which ends quietly.
#pragma once

#include <exception>

class tk_final_exception : public std::exception {
 public:
  tk_final_exception();
  const char* what() const noexcept override { return "Conversion stopped by the user"; }
};
